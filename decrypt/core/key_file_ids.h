// Identifiers of the key file's resources: the password dialog and the key file's messages.
#pragma once

#include "framework/types.h"

// The password dialog.
constexpr UINT IDD_PASSWORD = 32028;
constexpr UINT IDC_PASSWORD_EDIT = 1002;
constexpr UINT IDC_PASSWORD_SAVE = 1014;
constexpr UINT IDC_PASSWORD_PROMPT = 1063;
// Longest password the edit accepts.
constexpr int kMaxPasswordLength = 50;

// Messages.
constexpr UINT IDS_KEYFILE_PROTECT = 25118;
constexpr UINT IDS_KEYFILE_CANNOT_CREATE = 25119;
constexpr UINT IDS_KEYFILE_CANNOT_SAVE = 25120;
constexpr UINT IDS_KEYFILE_CANNOT_OPEN = 25121;
constexpr UINT IDS_KEYFILE_CORRUPTED = 25122;
constexpr UINT IDS_KEYFILE_WRONG_PASSWORD = 25123;
constexpr UINT IDS_KEYFILE_NO_VALID_KEYS = 25124;
constexpr UINT IDS_KEYFILE_CANNOT_READ = 25125;
