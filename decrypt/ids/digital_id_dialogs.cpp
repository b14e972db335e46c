#include "decrypt/ids/digital_id_dialogs.h"

#include "decrypt/core/resources.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/system.h"
#include "framework/thread.h"
#include "framework/ui/message_box.h"
#include "sigilbox/engines/rsa_keypair.h"
#include "sigilbox/engines/unlock_exception.h"

#include <cctype>

namespace {

const char* const kGradeNames[] = {"Universal Grade", "Standard Grade", "Premium Grade", "Custom Grade"};

// The seed is handed over with a 16-bit length; intervals past that add nothing.
constexpr size_t kMaxTimings = 0xFFFF / sizeof(DWORD);

void WipeWords(DWORD* p, size_t count)
{
    volatile DWORD* v = p;
    while (count--)
        *v++ = 0;
}

// A whole number of at most five digits, nothing else (blanks around allowed).
BOOL ParseBits(CString text, int& bits)
{
    text.TrimLeft();
    text.TrimRight();
    if (text.IsEmpty() || text.GetLength() > 5)
        return FALSE;
    int value = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return FALSE;
        value = value * 10 + (text[i] - '0');
    }
    bits = value;
    return TRUE;
}

}  // namespace

int GradeBits(int grade, int customBits)
{
    switch (grade) {
    case GradeStandard: return 1024;
    case GradePremium: return 2048;
    case GradeCustom: return customBits;
    default: return 508;
    }
}

// ---- "ID Strength" ----------------------------------------------------------------------

CIDStrengthDialog::CIDStrengthDialog(int bits, CDialog* parent) : CDialog(IDD_ID_STRENGTH, parent), m_nBits(bits) {}

BOOL CIDStrengthDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetSpinRange(IDC_STRENGTH_SPIN, kMinCustomBits, kMaxCustomBits);
    SetSpinPos(IDC_STRENGTH_SPIN, m_nBits);
    SetDlgItemInt(IDC_STRENGTH_BITS, static_cast<UINT>(m_nBits));
    return TRUE;
}

BOOL CIDStrengthDialog::OnCommand(UINT id)
{
    if (id == IDC_STRENGTH_SPIN) {
        // The spin control moves the number in its edit.
        SetDlgItemInt(IDC_STRENGTH_BITS, static_cast<UINT>(GetSpinPos(IDC_STRENGTH_SPIN)));
        return TRUE;
    }
    return CDialog::OnCommand(id);
}

void CIDStrengthDialog::OnOK()
{
    int bits = 0;
    if (!ParseBits(GetDlgItemText(IDC_STRENGTH_BITS), bits) || bits < kMinCustomBits || bits > kMaxCustomBits) {
        CString text;
        text.Format("Please enter an integer between %d and %d.", kMinCustomBits, kMaxCustomBits);
        MessageBoxA(GetSafeHwnd(), text, AfxGetAppTitle(), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    m_nBits = bits;
    EndDialog(IDOK);
}

// ---- "Making a New Digital ID" ------------------------------------------------------------

CMakingDigitalIDDialog::CMakingDigitalIDDialog(int bits, CDialog* parent) : CDialog(IDD_MAKING_DIGITAL_ID, parent), m_nBits(bits)
{
    m_timings.reserve(256);
}

CMakingDigitalIDDialog::~CMakingDigitalIDDialog() { WipeTimings(); }

void CMakingDigitalIDDialog::WipeTimings()
{
    WipeWords(m_timings.data(), m_timings.capacity());
    m_timings.clear();
}

void CMakingDigitalIDDialog::AddTiming(DWORD now)
{
    if (m_timings.size() >= kMaxTimings)
        return;
    if (m_timings.size() == m_timings.capacity()) {
        // Grow by hand so the old block is wiped rather than freed with the timings in it.
        std::vector<DWORD> bigger;
        bigger.reserve(m_timings.capacity() * 2 + 64);
        bigger.assign(m_timings.begin(), m_timings.end());
        WipeTimings();
        m_timings.swap(bigger);
    }
    m_timings.push_back(now - m_nLastTick);
    m_nLastTick = now;
}

BOOL CMakingDigitalIDDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_progress = CProgress(GetProgressBar(IDC_MAKING_PROGRESS), 1);
    m_nLastTick = GetTickCount();
    EnableControl(IDOK, FALSE);
    return TRUE;
}

void CMakingDigitalIDDialog::OnKey(UINT id, UINT, DWORD tick)
{
    if (id == IDC_PHRASE_EDIT) {
        m_nKeyTick = tick;
        m_bKeyTick = TRUE;
    }
}

void CMakingDigitalIDDialog::OnEditChange(UINT id)
{
    if (id != IDC_PHRASE_EDIT || m_bBusy)
        return;
    // The key's own time when the front end gave it, else now.
    DWORD now = m_bKeyTick ? m_nKeyTick : GetTickCount();
    m_bKeyTick = FALSE;
    AddTiming(now);
    UpdateOK();
}

void CMakingDigitalIDDialog::UpdateOK()
{
    EnableControl(IDOK, GetDlgItemText(IDC_PHRASE_EDIT).CompareNoCase(kPhrase) == 0);
}

void CMakingDigitalIDDialog::ShowStatus(const char* text)
{
    ThreadCannotBeKilled = 1;
    SetDlgItemText(IDC_MAKING_STATUS, text);
    UpdateWindow();
    ThreadCannotBeKilled = 0;
}

void CMakingDigitalIDDialog::OnOK()
{
    if (m_bBusy || !IsControlEnabled(IDOK))
        return;
    m_bBusy = TRUE;
    m_bCancelled = FALSE;
    ThreadKillFlag = 0;
    m_pKey.reset();
    EnableControl(IDOK, FALSE);

    // The timings as the seed, all of their bytes.
    std::vector<DWORD> seed(m_timings);
    auto seedBytes = static_cast<WORD>(seed.size() * sizeof(DWORD));

    CException* failure = nullptr;
    try {
        for (;;) {
            ShowStatus(DecryptString(IDS_GENERATING_KEY_PAIR));
            try {
                CRSAKeyPair pair(static_cast<WORD>(m_nBits), 1, reinterpret_cast<const BYTE*>(seed.data()), seedBytes, &m_progress);
                ShowStatus(DecryptString(IDS_VERIFYING_KEY_PAIR));
                if (pair.TestKeys(3, &m_progress, 1) != 0)
                    continue;
                m_pKey = std::make_unique<CRSAPrivateKey>(pair);
                break;
            } catch (CUnlockException* e) {
                // A failed prime search or check: start again with a new pair.
                e->Delete();
            }
        }
    } catch (CException* e) {
        if (e->IsKindOf(RUNTIME_CLASS(CKillThreadException)))
            e->Delete();   // cancelled: no key
        else
            failure = e;
    }
    WipeWords(seed.data(), seed.size());

    m_progress.SetUp(1, 0, 1, 0);
    UpdateWindow();
    ThreadKillFlag = 0;
    m_bBusy = FALSE;
    if (m_bCancelled)
        m_pKey.reset();   // a cancel that came as the key was done still cancels it
    if (failure)
        throw failure;   // reported by the dialog's handler, the dialog stays open
    if (m_pKey && !m_bCancelled)
        EndDialog(IDOK);
    else
        UpdateOK();
}

void CMakingDigitalIDDialog::OnCancel()
{
    if (!m_bBusy) {
        CDialog::OnCancel();
        return;
    }
    m_bCancelled = TRUE;
    ThreadToKill = AfxGetThread();
    ThreadKillFlag = 1;
    SetDlgItemText(IDC_MAKING_STATUS, "");
    UpdateOK();
}

// ---- "Create a New Digital ID" ------------------------------------------------------------

CNewDigitalIDDialog::CNewDigitalIDDialog(CDialog* parent) : CDialog(IDD_NEW_DIGITAL_ID, parent) {}

CNewDigitalIDDialog::~CNewDigitalIDDialog() = default;

BOOL CNewDigitalIDDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    ResetContent(IDC_STRENGTH_LIST);
    for (const char* name : kGradeNames)
        AddString(IDC_STRENGTH_LIST, name);
    // Only the universal grade is offered.
    for (int i = GradeCustom; i > GradeUniversal; --i)
        DeleteString(IDC_STRENGTH_LIST, i);
    SetCurSel(IDC_STRENGTH_LIST, GradeUniversal);
    SetDlgItemText(IDC_ID_NAME_EDIT, m_strName);
    ShowStrength(FALSE);
    UpdateControls();
    return TRUE;
}

void CNewDigitalIDDialog::ShowStrength(BOOL show)
{
    ShowControl(IDC_STRENGTH_LABEL, show);
    ShowControl(IDC_STRENGTH_LIST, show);
    ShowControl(IDC_SET_STRENGTH, show);
}

void CNewDigitalIDDialog::UpdateControls()
{
    EnableControl(IDC_CREATE_ID, !GetDlgItemText(IDC_ID_NAME_EDIT).IsEmpty());
    EnableControl(IDOK, m_pKey != nullptr);
    EnableControl(IDC_SET_STRENGTH, GetCurSel(IDC_STRENGTH_LIST) == GradeCustom);
}

void CNewDigitalIDDialog::OnEditChange(UINT id)
{
    if (id == IDC_ID_NAME_EDIT)
        UpdateControls();
}

void CNewDigitalIDDialog::OnSelChange(UINT id)
{
    if (id == IDC_STRENGTH_LIST)
        UpdateControls();
}

BOOL CNewDigitalIDDialog::OnCommand(UINT id)
{
    switch (id) {
    case IDC_ADVANCED:
        m_bAdvanced = TRUE;
        ShowStrength(TRUE);
        EnableControl(IDC_ADVANCED, FALSE);
        return TRUE;
    case IDC_SET_STRENGTH: {
        CIDStrengthDialog strength(m_nCustomBits, this);
        if (strength.DoModal() == IDOK)
            m_nCustomBits = strength.m_nBits;
        return TRUE;
    }
    case IDC_CREATE_ID:
        CreateID();
        return TRUE;
    default:
        return CDialog::OnCommand(id);
    }
}

void CNewDigitalIDDialog::CreateID()
{
    m_strName = GetDlgItemText(IDC_ID_NAME_EDIT);
    if (m_strName.IsEmpty())
        return;
    int selection = GetCurSel(IDC_STRENGTH_LIST);
    m_nGrade = selection < 0 ? GradeUniversal : selection;
    CMakingDigitalIDDialog making(GradeBits(m_nGrade, m_nCustomBits), this);
    if (making.DoModal() != IDOK || !making.m_pKey)
        return;
    m_pKey = std::move(making.m_pKey);
    EnableControl(IDOK, TRUE);
    EndDialog(IDOK);
}

void CNewDigitalIDDialog::OnOK()
{
    if (!m_pKey)
        return;
    m_strName = GetDlgItemText(IDC_ID_NAME_EDIT);
    EndDialog(IDOK);
}
