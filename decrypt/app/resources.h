// Identifiers of the shell's resources (the main dialog, the About box, the document
// types) and the registration of every resource of the program.
#pragma once

#include "decrypt/core/resources.h"

// The main dialog and the About box.
constexpr UINT IDD_ABOUTBOX = 100;
constexpr UINT IDS_ABOUTBOX = 101;
constexpr UINT IDS_DOCTYPE_P7M = 102;
constexpr UINT IDS_DOCTYPE_SIG = 103;
constexpr UINT IDD_DECRYPT_DIALOG = 32102;

const DecryptResourceShare& ShellResources();   // shell_resources.cpp

// Installs the string table and registers every dialog template of the program (the
// core's, the new-ID dialogs' and the shell's) and its pictures, once per process.
void RegisterDecryptResources();
