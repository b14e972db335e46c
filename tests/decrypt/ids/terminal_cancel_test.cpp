// Making an ID on the terminal: the phrase typed key by key, and Esc or Ctrl-C typed while
// the key pair is being generated cancelling the generation, not the program.
#include "decrypt/core/ids_test_support.h"

#include "decrypt/core/resources.h"
#include "decrypt/ids/digital_id_dialogs.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/app.h"
#include "framework/ui/front_end.h"
#include "framework/ui/terminal_front_end.h"
#include "framework/ui/terminal_io.h"
#include "sigilbox/engines/rsa_keys.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

class TerminalMaking : public IdsScratch {
protected:
    TerminalMaking() { RegisterDigitalIDResources(); }
    // Runs "Making a New Digital ID" on a terminal whose input is the text.
    INT_PTR Run(const std::string& input, CMakingDigitalIDDialog& dialog)
    {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        close(fds[1]);
        int out = open(Path("screen.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        INT_PTR result;
        {
            CTerminal terminal(fds[0], out);
            CTerminalFrontEnd frontEnd(terminal);
            CFrontEnd* previous = AfxSetFrontEnd(&frontEnd);
            result = dialog.DoModal();
            AfxSetFrontEnd(previous);
        }
        close(fds[0]);
        close(out);
        return result;
    }
    CWinApp app{"decrypt"};
};

// Field 1 is the phrase (typed key by key, Enter ends it); "o" presses OK, "c" Cancel.
const std::string kPhrase = "1\nRandom Generation\r";

TEST_F(TerminalMaking, EscDuringGenerationCancelsItAndTheDialogStays)
{
    for (const char* cancelKey : {"\x1b", "\x03"}) {
        SCOPED_TRACE(static_cast<int>(cancelKey[0]));
        CMakingDigitalIDDialog dialog(508);
        // The cancel key waits in the input and is read while the generation runs; the
        // dialog is then still there and takes the "c".
        EXPECT_EQ(Run(kPhrase + "o\n" + cancelKey + "c\n", dialog), IDCANCEL);
        EXPECT_EQ(dialog.m_pKey, nullptr);
        EXPECT_EQ(dialog.GetTimings().size(), 17u);
        EXPECT_EQ(ThreadKillFlag, 0);
    }
}

TEST_F(TerminalMaking, WithoutCancelTheKeyIsMade)
{
    CMakingDigitalIDDialog dialog(508);
    EXPECT_EQ(Run(kPhrase + "o\n", dialog), IDOK);
    ASSERT_NE(dialog.m_pKey, nullptr);
    EXPECT_EQ(dialog.m_pKey->m_nModulusBits, 508);
}

}  // namespace
