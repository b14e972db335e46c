// Identifiers of the resources every part of the program shares (icons, the progress
// window, the application's title) and the string table they all feed. Each part keeps its
// dialog templates and strings beside its code and adds them as one share; the templates
// and the table themselves are data.
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

// The application's title, the caption of every message box.
constexpr const char* kAppTitle = "Quillmar Postlantern Unsealer";

// The dialog templates and strings of one part of the program.
struct DecryptResourceShare {
    std::vector<const DialogTemplate*> templates;
    std::vector<std::pair<UINT, const char*>> strings;
};
const DecryptResourceShare& KeyFileResources();           // key_file_resources.cpp
const DecryptResourceShare& CertificateFileResources();   // certificate_file_resources.cpp

// Adds a part's share: its strings join the table (an id already there keeps its text) and
// its templates are registered. Each share is added once, by its part's Register function.
void AddDecryptResources(const DecryptResourceShare& share);

// Installs the string table and the templates of the core (progress window, key file,
// certificate file) once per process. The new-ID dialogs and the shell add theirs on top
// (RegisterDigitalIDResources, RegisterDecryptResources).
void RegisterCoreResources();
// A string-table entry of the shares added so far, or null.
const char* DecryptString(UINT id);
