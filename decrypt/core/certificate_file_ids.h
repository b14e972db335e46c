// Identifiers of the certificate file's resources: the question shown when the file is
// missing and its message. The template and text are data in certificate_file_resources.cpp.
#pragma once

#include "framework/types.h"

// "Create certificate file".
constexpr UINT IDD_CREATE_CERTIFICATE = 130;
constexpr UINT IDC_CERTIFICATE_PATH = 1018;
constexpr UINT IDC_EMAIL_ADDRESS = 1020;
constexpr UINT IDC_CREATE_CERTIFICATE = 1021;

// Strings.
constexpr UINT IDS_INVALID_ADDRESS = 92;
