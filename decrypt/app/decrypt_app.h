// Where the program keeps its settings (the product table) and the three settings of the
// decrypting user, read and written together.
#pragma once

#include "framework/app.h"
#include "decrypt/app/key_info.h"

constexpr int UNSEALER_PRODUCT_NUMBER = 9;
constexpr const char* SETTINGS_SECTION = "USER INFORMATION";

// The product selected by SelectProfileLocation (0 before).
extern int g_nProductNumber;

// The product part of the registry key for a product number; null for an unknown number.
const char* GetProductRegistryName(int product);

// Entries then live under HKEY_CURRENT_USER\Software\Quillmar\<product>\<section>.
// FALSE (nothing changed) for an unknown product number.
BOOL SelectProfileLocation(CWinApp& app, int product);

// Each setting is read with its current value as default.
void ReadUserSettings(CWinApp& app, DecryptionState& state);
// TRUE only when all three writes succeeded.
BOOL WriteUserSettings(CWinApp& app, const DecryptionState& state);
