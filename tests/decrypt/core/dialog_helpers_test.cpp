// The progress window and the family's file dialog.
#include "decrypt/core/dialog_helpers.h"
#include "decrypt/core/resources.h"
#include "framework/ui/scripted_front_end.h"
#include "framework/window.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<CString> Extensions(UINT mask, BOOL open)
{
    std::vector<CString> out;
    for (const auto& r : FileKindRows(mask, open))
        out.push_back(r.extension);
    return out;
}

TEST(FileKinds, RowsFollowTheMaskAndDirection)
{
    using V = std::vector<CString>;
    EXPECT_EQ(Extensions(0x08, TRUE), (V{"crt", "p7m", "sig", "msg", "der"}));
    EXPECT_EQ(Extensions(0x08, FALSE), (V{"crt", "txt", "p7m", "sig", "der"}));
    EXPECT_EQ(Extensions(0x40, FALSE), (V{"crl", "txt", "der"}));
    EXPECT_EQ(Extensions(0x40, TRUE), (V{"crl", "der"}));
    EXPECT_EQ(Extensions(0x05, TRUE), (V{"eab", "sec"}));
    EXPECT_EQ(Extensions(0xFF, TRUE).size(), 14u);
    EXPECT_EQ(FileKindRows(0x40, TRUE)[1].description, "DER-encoded Certificate Relocation List");
    EXPECT_EQ(FileKindRows(0x10, TRUE)[1].title, "Browse for .SEC file");
    EXPECT_EQ(FileKindFilter(FileKindRows(0x10, TRUE)),
              "Secret & RSA keys file (*.key) |*.key|RSA keys with their certificates file (*.sec) |*.sec||");
}

TEST(BrowseForFile, KindFromFilterOrExtension)
{
    CScriptedFrontEnd ui;
    char path[260] = "";

    // A name without extension takes the chosen filter's kind and extension.
    ui.AnswerFile("/tmp/myid", 2);
    EXPECT_EQ(BrowseForFile(nullptr, path, sizeof path, TRUE, 0x10), 2);
    EXPECT_STREQ(path, "/tmp/myid.sec");

    // A typed extension wins over the filter, whatever its case.
    ui.AnswerFile("/tmp/other.KEY", 2);
    EXPECT_EQ(BrowseForFile(nullptr, path, sizeof path, TRUE, 0x10), 1);
    EXPECT_STREQ(path, "/tmp/other.KEY");

    // An unknown extension keeps the filter's kind and the name as typed.
    ui.AnswerFile("/tmp/id.bak", 1);
    EXPECT_EQ(BrowseForFile(nullptr, path, sizeof path, TRUE, 0x10), 1);
    EXPECT_STREQ(path, "/tmp/id.bak");

    ui.CancelFile();
    EXPECT_EQ(BrowseForFile(nullptr, path, sizeof path, TRUE, 0x10), 0);

    // A path that does not fit the caller's buffer is not cut short.
    char small[8] = "";
    ui.AnswerFile("/tmp/long-name.sec", 2);
    EXPECT_EQ(BrowseForFile(nullptr, small, sizeof small, TRUE, 0x10), 0);
    EXPECT_STREQ(small, "");
}

TEST(BrowseForFile, SavingAsksBeforeReplacingAndOpeningNeedsTheFile)
{
    CScriptedFrontEnd ui;
    DWORD seenFlags = 0;
    BOOL seenOpen = TRUE;
    ui.OnFileDialog([&](CFileDialog& d) -> INT_PTR {
        seenFlags = d.GetFlags();
        seenOpen = d.IsOpen();
        return IDCANCEL;
    });
    char path[260] = "";
    BrowseForFile(nullptr, path, sizeof path, FALSE, 0x10);
    EXPECT_FALSE(seenOpen);
    EXPECT_TRUE(seenFlags & OFN_OVERWRITEPROMPT);
    EXPECT_TRUE(seenFlags & OFN_PATHMUSTEXIST);
    EXPECT_FALSE(seenFlags & OFN_FILEMUSTEXIST);

    ui.OnFileDialog([&](CFileDialog& d) -> INT_PTR {
        seenFlags = d.GetFlags();
        return IDCANCEL;
    });
    BrowseForFile(nullptr, path, sizeof path, TRUE, 0x10);
    EXPECT_TRUE(seenFlags & OFN_FILEMUSTEXIST);
    EXPECT_FALSE(seenFlags & OFN_OVERWRITEPROMPT);
}

TEST(ProgressDialogTest, StagesAndPostedProgressReachTheWindow)
{
    CScriptedFrontEnd ui;
    ProgressDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "/tmp/mail.p7m"));
    EXPECT_EQ(dlg.GetWindowText(), "/tmp/mail.p7m");
    dlg.GetProgress().SetUp(7, 0, 1, 0);
    dlg.SetStageText("preparing outputs ...");
    dlg.GetProgress().Hint(1);
    dlg.GetProgress().Hint(1);
    dlg.SetStageText("loading ciphertext ...");
    PROGRESSBARSTATE st;
    ASSERT_TRUE(AfxGetProgressBarState(dlg.GetProgressBar(IDC_PROGRESS_BAR), &st));
    EXPECT_EQ(st.nUpper, 7);
    EXPECT_EQ(st.nPos, 2);
    EXPECT_EQ(dlg.GetStageText(), "loading ciphertext ...");
    dlg.DestroyWindow();
    EXPECT_EQ(ui.stageTexts, (std::vector<CString>{"preparing outputs ...", "loading ciphertext ..."}));
}

}  // namespace
