// Viewing the decrypting ID: the sheet, the page chosen by the key, the texts of the type,
// the numbers and the length, and the name rule of an editable page.
#include "decrypt/app/resources.h"
#include "decrypt/app/view_id.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/key_info.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/engines/rsa_keys.h"

#include <gtest/gtest.h>

#include <map>

namespace {

CRSAPrivateKey* SmallKey(int bits)
{
    auto* key = new CRSAPrivateKey;
    key->m_nModulusBits = static_cast<WORD>(bits);
    BYTE* m = key->m_Modulus + CRSAPublicKey::NumberSize;
    m[-3] = 0x0F;
    m[-2] = 0xAB;
    m[-1] = 0x01;
    BYTE* e = key->m_PublicExponent + CRSAPublicKey::NumberSize;
    e[-3] = 0x01;
    e[-1] = 0x01;
    BYTE* d = key->m_PrivateExponent + CRSAPublicKey::NumberSize;
    d[-4] = 0x0A;
    d[-3] = 0xBC;
    d[-2] = 0x00;
    d[-1] = 0xDE;
    return key;
}

struct Shown {
    CString caption;
    int pages = 0;
    UINT templateId = 0;
    std::map<UINT, CString> texts;
    BOOL okVisible = TRUE;
    DWORD nameStyle = 0;
};

Shown View(CScriptedFrontEnd& ui)
{
    Shown shown;
    ui.OnPropertySheet([&](CPropertySheet& sheet) -> INT_PTR {
        shown.caption = sheet.GetCaption();
        shown.pages = sheet.GetPageCount();
        CPropertyPage* page = sheet.GetPage(0);
        shown.templateId = page->GetTemplateId();
        for (UINT id : {IDC_VIEW_NAME, IDC_VIEW_TYPE, IDC_VIEW_PUBLIC_EXPONENT, IDC_VIEW_PRIVATE_EXPONENT,
                        IDC_VIEW_MODULUS, IDC_VIEW_LENGTH})
            if (page->GetControl(id))
                shown.texts[id] = page->GetDlgItemText(id);
        if (const CDialogControl* ok = page->GetControl(IDOK))
            shown.okVisible = ok->visible;
        shown.nameStyle = page->GetControl(IDC_VIEW_NAME)->style;
        return sheet.ApplyAll() ? IDOK : IDCANCEL;
    });
    ViewDecryptingID(nullptr);
    return shown;
}

class ViewID : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterDecryptResources();
        AfxGetDecryptionState() = DecryptionState();
    }
    void TearDown() override { AfxGetDecryptionState() = DecryptionState(); }
    CScriptedFrontEnd ui;
};

TEST_F(ViewID, PrivateIDShowsItsNumbers)
{
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Alice Example", CKeyInfo::RSAPrivateKey, SmallKey(508), 0));
    Shown s = View(ui);
    EXPECT_EQ(s.caption, "View decrypting ID");
    EXPECT_EQ(s.pages, 1);
    EXPECT_EQ(s.templateId, IDD_VIEW_PRIVATE_ID);
    EXPECT_EQ(s.texts[IDC_VIEW_NAME], "Alice Example");
    EXPECT_EQ(s.texts[IDC_VIEW_TYPE], "Universal");
    EXPECT_EQ(s.texts[IDC_VIEW_PUBLIC_EXPONENT], "010001");
    EXPECT_EQ(s.texts[IDC_VIEW_MODULUS], "0FAB01");
    EXPECT_EQ(s.texts[IDC_VIEW_PRIVATE_EXPONENT], "0A BC 00 DE");
    EXPECT_EQ(s.texts[IDC_VIEW_LENGTH], "508 bits");
    EXPECT_TRUE(s.nameStyle & CS_READONLY);
    EXPECT_TRUE(ui.boxes.empty());
    const DialogTemplate* page = AfxFindDialogTemplate(IDD_VIEW_PRIVATE_ID);
    ASSERT_NE(page, nullptr);
    EXPECT_STREQ(page->caption, "General");
}

TEST_F(ViewID, TypeTextFollowsTheModulusLength)
{
    EXPECT_EQ(IDTypeText(508), "Universal");
    EXPECT_EQ(IDTypeText(1024), "Standard");
    EXPECT_EQ(IDTypeText(2048), "Premium");
    EXPECT_EQ(IDTypeText(512), "512-bits");
    EXPECT_EQ(IDTypeText(768), "768-bits");
    BYTE zero[4] = {};
    EXPECT_EQ(NumberToHex(zero, 4), "00");
    EXPECT_EQ(NumberToSpacedHex(zero, 4), "00");
    BYTE one[3] = {0, 0, 5};
    EXPECT_EQ(NumberToHex(one, 3), "05");
}

TEST_F(ViewID, OtherKeysUseTheKeyPageWithoutItsOKButton)
{
    AfxGetDecryptionState().SetDecryptingID(
        CKeyInfo("Public", CKeyInfo::RSAPublicKey, new CRSAPublicKey(*std::unique_ptr<CRSAPrivateKey>(SmallKey(1024))), 0));
    Shown s = View(ui);
    EXPECT_EQ(s.templateId, IDD_VIEW_PUBLIC_KEY);
    EXPECT_EQ(s.texts[IDC_VIEW_TYPE], "Standard");
    EXPECT_EQ(s.texts[IDC_VIEW_PUBLIC_EXPONENT], "010001");
    EXPECT_EQ(s.texts[IDC_VIEW_MODULUS], "0FAB01");
    EXPECT_EQ(s.texts[IDC_VIEW_LENGTH], "1024 bits");
    EXPECT_EQ(s.texts.count(IDC_VIEW_PRIVATE_EXPONENT), 0u);
    EXPECT_FALSE(s.okVisible);
}

TEST_F(ViewID, AnEditableNameNeedsOneTo256Characters)
{
    CKeyInfo id("Named", CKeyInfo::RSAPrivateKey, SmallKey(512), 0);
    CIDGeneralPage page(id, FALSE);
    CPropertySheet sheet("Edit", nullptr);
    sheet.AddPage(&page);
    BOOL emptyAccepted = TRUE, goodAccepted = FALSE;
    ui.OnPropertySheet([&](CPropertySheet& s) -> INT_PTR {
        CPropertyPage* p = s.GetPage(0);
        EXPECT_FALSE(p->GetControl(IDC_VIEW_NAME)->style & CS_READONLY);
        p->HandleEditChange(IDC_VIEW_NAME, "");
        emptyAccepted = s.ApplyAll();
        p->HandleEditChange(IDC_VIEW_NAME, "New name");
        goodAccepted = s.ApplyAll();
        return IDOK;
    });
    sheet.DoModal();
    EXPECT_FALSE(emptyAccepted);
    EXPECT_TRUE(goodAccepted);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "There must be at least 1  characters and at most 256  characters");
    EXPECT_EQ(page.m_strName, "New name");
}

}  // namespace
