// Identifiers of the program's resources: dialog templates, controls and strings. The
// templates and the string table themselves are data in resources.cpp.
#pragma once

#include "framework/types.h"

#include <utility>
#include <vector>

struct DialogTemplate;

// Icons and bitmaps.
constexpr UINT IDR_MAINFRAME = 128;
constexpr UINT IDB_PICTURE = 129;

// The progress window.
constexpr UINT IDD_PROGRESS = 32029;
constexpr UINT IDC_PROGRESS_BAR = 1061;
constexpr UINT IDC_PROGRESS_TEXT = 1062;

// Strings of the file dialog's kinds: rows of extension, description, browse title.
constexpr UINT IDS_FILEKIND_FIRST = 2000;

// The main dialog and the About box.
constexpr UINT IDD_ABOUTBOX = 100;
constexpr UINT IDS_ABOUTBOX = 101;
constexpr UINT IDS_DOCTYPE_P7M = 102;
constexpr UINT IDS_DOCTYPE_SIG = 103;
constexpr UINT IDD_DECRYPT_DIALOG = 32102;

// The application's title, the caption of every message box.
constexpr const char* kAppTitle = "Quillmar Postlantern Unsealer";

// Each part of the program keeps its dialog templates and strings beside its code and hands
// them over here; RegisterDecryptResources installs them all.
struct DecryptResourceShare {
    std::vector<const DialogTemplate*> templates;
    std::vector<std::pair<UINT, const char*>> strings;
};
const DecryptResourceShare& KeyFileResources();     // key_file_resources.cpp
const DecryptResourceShare& DigitalIDResources();   // decrypt/ids/ids_resources.cpp
const DecryptResourceShare& ShellResources();       // shell_resources.cpp

// Installs the string table and registers every dialog template (once per process).
void RegisterDecryptResources();
// A string-table entry, or null.
const char* DecryptString(UINT id);
