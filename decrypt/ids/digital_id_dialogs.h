// The dialogs of making a digital ID: naming it and choosing its strength, the custom
// strength, and typing the phrase whose keystroke timing seeds the key-pair generation.
#pragma once

#include "framework/cstring.h"
#include "framework/ui/dialog.h"
#include "sigilbox/engines/progress.h"

#include <memory>
#include <vector>

class CRSAPrivateKey;

// Strength grades, in the order of the strength list.
enum IDGrade { GradeUniversal = 0, GradeStandard = 1, GradePremium = 2, GradeCustom = 3 };
constexpr int kMinCustomBits = 508;
constexpr int kMaxCustomBits = 2048;
// The modulus bits of a grade (the custom grade's are given).
int GradeBits(int grade, int customBits);

// "ID Strength": the custom modulus size, 508 to 2048 bits.
class CIDStrengthDialog : public CDialog {
public:
    explicit CIDStrengthDialog(int bits, CDialog* parent = nullptr);
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(UINT id) override;
    int m_nBits;
};

// "Making a New Digital ID": collects keystroke intervals while the phrase is typed, then
// generates and checks the key pair on OK. Cancel while generating stops the generation
// and keeps the dialog open.
class CMakingDigitalIDDialog : public CDialog {
public:
    explicit CMakingDigitalIDDialog(int bits, CDialog* parent = nullptr);
    ~CMakingDigitalIDDialog() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnEditChange(UINT id) override;
    void OnKey(UINT id, UINT ch, DWORD tick) override;

    BOOL IsBusy() const { return m_bBusy; }
    const std::vector<DWORD>& GetTimings() const { return m_timings; }
    // The key made (null until then); the caller may take it.
    std::unique_ptr<CRSAPrivateKey> m_pKey;

    // The phrase to type, compared without regard to case.
    static constexpr const char* kPhrase = "random generation";

private:
    void AddTiming(DWORD now);
    void WipeTimings();
    void ShowStatus(const char* text);
    void UpdateOK();

    int m_nBits;
    std::vector<DWORD> m_timings;   // intervals between changes of the phrase, in ms
    DWORD m_nLastTick = 0;
    DWORD m_nKeyTick = 0;           // when the key behind the coming change was pressed
    BOOL m_bKeyTick = FALSE;
    BOOL m_bBusy = FALSE;
    BOOL m_bCancelled = FALSE;
    CProgress m_progress;
};

// "Create a New Digital ID": the name and strength; "Create ID..." makes the key and ends
// the dialog with OK.
class CNewDigitalIDDialog : public CDialog {
public:
    explicit CNewDigitalIDDialog(CDialog* parent = nullptr);
    ~CNewDigitalIDDialog() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(UINT id) override;
    void OnEditChange(UINT id) override;
    void OnSelChange(UINT id) override;

    BOOL IsAdvanced() const { return m_bAdvanced; }

    CString m_strName;
    int m_nGrade = GradeUniversal;
    int m_nCustomBits = kMinCustomBits;
    std::unique_ptr<CRSAPrivateKey> m_pKey;

private:
    void CreateID();
    void UpdateControls();
    void ShowStrength(BOOL show);
    BOOL m_bAdvanced = FALSE;
};
