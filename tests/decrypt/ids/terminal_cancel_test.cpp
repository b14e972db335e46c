// Making an ID on the terminal: the phrase typed key by key (typed again, it replaces what
// was there), Esc or Ctrl-C typed while the key pair is being generated cancelling the
// generation, not the program, and the key file's name taking its type's extension.
#include "decrypt/core/ids_test_support.h"

#include "decrypt/core/dialog_helpers.h"
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
        return Run(input, [&] { return dialog.DoModal(); });
    }
    template <class F>
    INT_PTR Run(const std::string& input, F&& show)
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
            result = show();
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
    // Typed a second time, the phrase replaces the first attempt (emptying it is a change too).
    for (const std::string& typing : {kPhrase, "1\nrandom\r" + kPhrase}) {
        CMakingDigitalIDDialog dialog(508);
        EXPECT_EQ(Run(typing + "o\n", dialog), IDOK);
        ASSERT_NE(dialog.m_pKey, nullptr);
        EXPECT_EQ(dialog.m_pKey->m_nModulusBits, 508);
        EXPECT_EQ(dialog.GetTimings().size(), typing == kPhrase ? 17u : 6u + 1u + 17u);
    }
}

TEST_F(TerminalMaking, KeyFileNameWithoutExtensionTakesTheChosenType)
{
    struct Case {
        const char* typed;      // name, then the type's answer
        const char* expected;   // the key file's name
        int kind;
    } cases[] = {
        {"id\n\n", "id.key", 1},          // Enter: the first type
        {"id\n2\n", "id.sec", 2},
        {"id.sec\n\n", "id.sec", 2},      // Enter: from the name
        {"id.sec\n1\n", "id.sec", 2},     // the name's own extension wins
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        char path[512] = "";
        std::string typed = dir + "/" + c.typed;
        INT_PTR kind = Run(typed, [&] { return static_cast<INT_PTR>(BrowseForFile(nullptr, path, sizeof path, FALSE, FILEKIND_KEYS)); });
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(std::string(path), dir + "/" + c.expected);
        EXPECT_NE(ReadBytes(Path("screen.txt")).find(std::string("File type (1-2, Enter: ") + (c.typed[2] == '.' ? "from the name" : "1")),
                  std::string::npos);
    }
}

}  // namespace
