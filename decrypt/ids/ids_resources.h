// Identifiers of the dialogs, controls and strings of digital-ID creation. The templates
// and texts are data in ids_resources.cpp and digital_id.cpp.
#pragma once

#include "decrypt/core/resources.h"
#include "framework/types.h"

#include <array>

struct DialogTemplate;

// "Create a New Digital ID".
constexpr UINT IDD_NEW_DIGITAL_ID = 32036;
constexpr UINT IDC_ID_NAME_EDIT = 1049;
constexpr UINT IDC_CREATE_ID = 1001;
constexpr UINT IDC_ADVANCED = 1002;
constexpr UINT IDC_STRENGTH_LIST = 1009;
constexpr UINT IDC_SET_STRENGTH = 1004;
constexpr UINT IDC_STRENGTH_LABEL = 1051;

// "ID Strength".
constexpr UINT IDD_ID_STRENGTH = 161;
constexpr UINT IDC_STRENGTH_BITS = 1009;
constexpr UINT IDC_STRENGTH_SPIN = 1010;

// "Making a New Digital ID".
constexpr UINT IDD_MAKING_DIGITAL_ID = 32037;
constexpr UINT IDC_PHRASE_EDIT = 1008;
constexpr UINT IDC_MAKING_PROGRESS = 1061;
constexpr UINT IDC_MAKING_STATUS = 1011;

// Strings.
constexpr UINT IDS_GENERATING_KEY_PAIR = 25145;
constexpr UINT IDS_VERIFYING_KEY_PAIR = 25146;
constexpr UINT IDS_REPLACE_KEY_FILE = 32410;   // our own: asked before a key file is replaced

// The templates of the three ID dialogs, kept with the code that makes an ID (so that
// code is part of every program that has the resources).
const std::array<const DialogTemplate*, 3>& DigitalIDDialogTemplates();

// The new-ID dialogs' share of the resources.
const DecryptResourceShare& DigitalIDResources();
// Installs the core's resources and the new-ID dialogs' (once per process).
void RegisterDigitalIDResources();
