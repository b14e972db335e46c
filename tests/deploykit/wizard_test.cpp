// CheckMapi, RunWizard and RegisterDAO against stand-ins: a MAPI library whose wizard
// records its call, a library without the wizard, DAO servers with and without their
// registration function, and an administration program that finishes when released.
#include "tests/deploykit/deploykit_support.h"
#include "tests/deploykit/fakes/fake_mapi.h"
#include "tests/support/wait.h"

#include "framework/profile.h"
#include "framework/ui/message_box.h"
#include "framework/window.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;

class MapiTest : public DeploykitTest {
protected:
    void SetUp() override
    {
        DeploykitTest::SetUp();
        if (HasFatalFailure())
            return;
        // Held for the whole test, so the wizard's record outlives the library's own
        // load and unload of it.
        m_fake = LoadLibraryA(QM_FAKE_MAPI);
        ASSERT_NE(m_fake, nullptr) << static_cast<const char*>(AfxGetLibraryError());
        m_reset = reinterpret_cast<FakeMapiResetFn>(GetProcAddress(m_fake, "FakeMapiReset"));
        m_script = reinterpret_cast<FakeMapiScriptFn>(GetProcAddress(m_fake, "FakeMapiScript"));
        m_lastCall = reinterpret_cast<FakeMapiLastCallFn>(GetProcAddress(m_fake, "FakeMapiLastCall"));
        ASSERT_TRUE(m_reset && m_script && m_lastCall);
        m_reset();
    }
    void TearDown() override
    {
        if (m_fake)
            FreeLibrary(m_fake);
        DeploykitTest::TearDown();
    }

    void WriteServices(const std::string& mspst)
    {
        qmtest::WriteFile(MapisvcPath(), "[Services]\r\nMSPST AB=" + mspst + "\r\nPLNTM=Quillmar Postlantern\r\n\r\n"
                                 "[MSPST AB]\r\nPR_DISPLAY_NAME=Personal Address Book\r\n");
    }
    std::string Mspst()
    {
        char value[4096];
        GetPrivateProfileStringA("Services", "MSPST AB", "<missing>", value, sizeof value, MapisvcPath().c_str());
        return value;
    }
    LONG Wizard(HWND window, char* text) { return Call(Lib().RunWizard, window, 0, text); }

    HMODULE m_fake = nullptr;
    FakeMapiResetFn m_reset = nullptr;
    FakeMapiScriptFn m_script = nullptr;
    FakeMapiLastCallFn m_lastCall = nullptr;
};

TEST_F(MapiTest, CheckMapiLoadsTheLibraryFromTheSystemFolder)
{
    EXPECT_EQ(Call(Lib().CheckMapi, nullptr, 0, nullptr), 0);
    // A file that is no library is no MAPI either.
    qmtest::WriteFile(SystemFolder() + "/mapi32.dll", "not a library");
    EXPECT_EQ(Call(Lib().CheckMapi, nullptr, 0, nullptr), 0);
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    EXPECT_EQ(Call(Lib().CheckMapi, nullptr, 0, nullptr), 1);
    EXPECT_EQ(m_lastCall()->calls, 0);
}

TEST_F(MapiTest, WizardIsCalledWithThePersonalAddressBookHidden)
{
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    WriteServices("Personal Address Book");
    m_script(0, "Work Profile", 0);
    HWND installer = AfxCreateWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    char text[kDeploykitProfileNameSize];
    std::strcpy(text, "leftover text from the installer");

    EXPECT_EQ(Wizard(installer, text), 1);
    const FakeMapiCall* call = m_lastCall();
    EXPECT_EQ(call->calls, 1);
    EXPECT_EQ(call->parent, installer);
    EXPECT_EQ(call->flags, 10u);
    ASSERT_EQ(call->serviceCount, 1);
    EXPECT_STREQ(call->services[0], "Quillmar Postlantern");
    EXPECT_EQ(call->bufferSize, 255u);
    EXPECT_STREQ(call->servicesKeys, "PLNTM");
    EXPECT_STREQ(text, "Work Profile");
    EXPECT_EQ(Mspst(), "Personal Address Book");
    DestroyWindow(installer);
}

TEST_F(MapiTest, TheFullProductIsAskedForWhicheverProductIsInstalled)
{
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    std::string light = "/opt/plnt/";
    LONG product = 5;
    ASSERT_EQ(Lib().EditMapisvc(nullptr, &product, light.data()), 1);
    char text[kDeploykitProfileNameSize] = "";
    EXPECT_EQ(Wizard(nullptr, text), 1);
    ASSERT_EQ(m_lastCall()->serviceCount, 1);
    EXPECT_STREQ(m_lastCall()->services[0], "Quillmar Postlantern");
    EXPECT_EQ(Mspst(), "<missing>");
    EXPECT_STREQ(m_lastCall()->servicesKeys, "PLNTL");
}

TEST_F(MapiTest, AFailedWizardLeavesAnEmptyNameAndStillRestores)
{
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    WriteServices("Personal Address Book");
    m_script(0x80004005, "Half Made", 0);
    char text[kDeploykitProfileNameSize];
    std::strcpy(text, "leftover");
    EXPECT_EQ(Wizard(nullptr, text), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(Mspst(), "Personal Address Book");
}

TEST_F(MapiTest, WithoutTheWizardTheEntryIsRestoredAndTheResultIsZero)
{
    InstallSystemLibrary(QM_FAKE_PLAIN, "mapi32.dll");
    WriteServices("Personal Address Book");
    char text[kDeploykitProfileNameSize];
    std::strcpy(text, "untouched");
    EXPECT_EQ(Wizard(nullptr, text), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(Mspst(), "Personal Address Book");
    const auto ini = ReadIni(MapisvcPath());
    ASSERT_NE(FindIniSection(ini, "MSPST AB"), nullptr);
    EXPECT_EQ(FindIniSection(ini, "MSPST AB")->entries.size(), 1u);
}

TEST_F(MapiTest, WithoutMapiNothingIsTouched)
{
    WriteServices("Personal Address Book");
    const std::string before = qmtest::ReadText(MapisvcPath());
    char text[kDeploykitProfileNameSize] = "untouched";
    EXPECT_EQ(Wizard(nullptr, text), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(qmtest::ReadText(MapisvcPath()), before);
}

TEST_F(MapiTest, AnEmptyOrMissingEntryIsLeftAsItIs)
{
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    WriteServices("");
    char text[kDeploykitProfileNameSize] = "";
    EXPECT_EQ(Wizard(nullptr, text), 1);
    EXPECT_STREQ(m_lastCall()->servicesKeys, "MSPST AB|PLNTM");
    EXPECT_EQ(Mspst(), "");

    fs::remove(MapisvcPath());
    EXPECT_EQ(Wizard(nullptr, text), 1);
    EXPECT_STREQ(m_lastCall()->servicesKeys, "");
    EXPECT_EQ(Mspst(), "<missing>");
}

TEST_F(MapiTest, LongAndQuotedValuesComeBackWhole)
{
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    const std::string longValue(700, 'v');
    WriteServices(longValue);
    char text[kDeploykitProfileNameSize] = "";
    EXPECT_EQ(Wizard(nullptr, text), 1);
    EXPECT_STREQ(m_lastCall()->servicesKeys, "PLNTM");
    EXPECT_EQ(Mspst(), longValue);

    // Reading drops one pair of quotes; what comes back reads the same as before.
    WriteServices("\"\"Quoted Book\"\"");
    const std::string seen = Mspst();
    EXPECT_EQ(seen, "\"Quoted Book\"");
    EXPECT_EQ(Wizard(nullptr, text), 1);
    EXPECT_EQ(Mspst(), seen);
}

TEST_F(MapiTest, TheNewProfileNameIsAlwaysTerminated)
{
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    m_script(0, "", 1);   // the wizard fills all 255 characters and no terminator
    char text[kDeploykitProfileNameSize + 16];
    std::memset(text, 'y', sizeof text);
    EXPECT_EQ(Wizard(nullptr, text), 1);
    EXPECT_EQ(std::strlen(text), 255u);
    EXPECT_EQ(std::string(text), std::string(255, 'x'));
    EXPECT_EQ(text[256], 'y');

    // Without a buffer the wizard still runs.
    m_script(0, "Nowhere", 0);
    EXPECT_EQ(Wizard(nullptr, nullptr), 1);
    EXPECT_EQ(m_lastCall()->calls, 2);
}

TEST_F(MapiTest, OtherModesDoNothing)
{
    InstallSystemLibrary(QM_FAKE_MAPI, "mapi32.dll");
    WriteServices("Personal Address Book");
    const std::string before = qmtest::ReadText(MapisvcPath());
    PictureFrontEnd front;
    char text[kDeploykitProfileNameSize] = "untouched";
    for (LONG mode : {2, -1, 100})
        EXPECT_EQ(Call(Lib().RunWizard, nullptr, mode, text), 0) << mode;
    EXPECT_EQ(Lib().RunWizard(nullptr, nullptr, text), 0);
    EXPECT_EQ(m_lastCall()->calls, 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(qmtest::ReadText(MapisvcPath()), before);
    EXPECT_TRUE(front.boxes.empty());
}

class AdminProgramTest : public DeploykitTest {
protected:
    // A folder holding the administration program, with a blank in its name.
    std::string MakeProgramFolder()
    {
        std::string folder = Root() + "/Postlantern Admin";
        fs::create_directories(folder);
        fs::create_symlink(QM_FAKE_ADMIN, folder + "/PLNTMAdmin.exe");
        return folder;
    }

    // Runs the wizard in mode 1 on `text`. The program in `folder` holds on until it is
    // released, which happens once it has started; *waited tells whether the call had not
    // returned by then.
    LONG RunAdmin(const std::string& folder, std::string text, bool* waited)
    {
        std::atomic<bool> returned{false};
        *waited = false;
        std::thread releaser([&] {
            if (!qmtest::WaitUntil([&] { return fs::exists(folder + "/admin.started"); }))
                return;
            *waited = !returned;
            qmtest::WriteFile(folder + "/admin.release", std::string_view());
        });
        LONG result = Call(Lib().RunWizard, nullptr, 1, text.data());
        returned = true;
        releaser.join();
        return result;
    }
    PictureFrontEnd m_front;
};

TEST_F(AdminProgramTest, RunsInItsFolderAndIsWaitedFor)
{
    std::string folder = MakeProgramFolder();
    bool waited = false;
    EXPECT_EQ(RunAdmin(folder, folder + "/", &waited), 1);
    EXPECT_TRUE(waited);
    EXPECT_EQ(qmtest::ReadText(folder + "/admin.log"), fs::canonical(folder).string() + "\n1\n");
    EXPECT_TRUE(m_front.boxes.empty());
}

TEST_F(AdminProgramTest, ARelativeFolderIsTakenFromTheCurrentOne)
{
    std::string folder = MakeProgramFolder();
    fs::path previous = fs::current_path();
    fs::current_path(Root());
    bool waited = false;
    LONG result = RunAdmin(folder, "Postlantern Admin/", &waited);
    fs::current_path(previous);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(waited);
    EXPECT_TRUE(fs::exists(folder + "/admin.log"));
    EXPECT_TRUE(m_front.boxes.empty());
}

TEST_F(AdminProgramTest, AMissingProgramIsReportedWithItsErrorNumber)
{
    HWND installer = AfxCreateWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    std::string text = Root() + "/";
    EXPECT_EQ(Call(Lib().RunWizard, installer, 1, text.data()), 0);
    ASSERT_EQ(m_front.boxes.size(), 1u);
    EXPECT_EQ(m_front.boxes[0].caption, "RunWizard GetLastError");
    EXPECT_EQ(m_front.boxes[0].text, "Error : 2");
    EXPECT_EQ(m_front.boxes[0].type, MB_OK);

    // A folder that does not exist, and no folder at all.
    text = Root() + "/nowhere/";
    EXPECT_EQ(Call(Lib().RunWizard, installer, 1, text.data()), 0);
    LONG one = 1;
    EXPECT_EQ(Lib().RunWizard(installer, &one, nullptr), 0);
    ASSERT_EQ(m_front.boxes.size(), 3u);
    EXPECT_EQ(m_front.boxes[1].text, "Error : 267");
    EXPECT_EQ(m_front.boxes[2].text, "Error : 87");
    DestroyWindow(installer);
}

class RegisterDaoTest : public DeploykitTest {
protected:
    PictureFrontEnd m_front;
};

TEST_F(RegisterDaoTest, CallsTheServersRegistrationFunction)
{
    HMODULE fake = LoadLibraryA(QM_FAKE_DAO);
    ASSERT_NE(fake, nullptr);
    auto count = reinterpret_cast<int (*)()>(GetProcAddress(fake, "FakeDaoRegistrations"));
    ASSERT_NE(count, nullptr);
    const int before = count();
    std::string path = QM_FAKE_DAO;
    EXPECT_EQ(Call(Lib().RegisterDAO, nullptr, 0, path.data()), 1);
    EXPECT_EQ(count(), before + 1);
    EXPECT_TRUE(m_front.boxes.empty());
    FreeLibrary(fake);
}

TEST_F(RegisterDaoTest, WarnsWhenThereIsNoRegistrationFunction)
{
    std::string path = QM_FAKE_PLAIN;
    EXPECT_EQ(Call(Lib().RegisterDAO, nullptr, 0, path.data()), 1);
    // A library that does not load at all, and no name.
    std::string missing = Root() + "/missing.dll";
    EXPECT_EQ(Call(Lib().RegisterDAO, nullptr, 0, missing.data()), 1);
    EXPECT_EQ(Call(Lib().RegisterDAO, nullptr, 0, nullptr), 1);
    ASSERT_EQ(m_front.boxes.size(), 3u);
    for (const auto& box : m_front.boxes) {
        EXPECT_EQ(box.text, "Missing DAO server registration function");
        EXPECT_EQ(box.type, MB_OK | MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(m_front.boxes[0].caption, QM_FAKE_PLAIN);
    EXPECT_EQ(m_front.boxes[1].caption, missing.c_str());
    EXPECT_EQ(m_front.boxes[2].caption, "");
}

} // namespace

namespace {

// An installer that carries no framework of its own: the library's own copy serves, and
// its message boxes go to standard error.
TEST_F(DeploykitTest, RunsInAnInstallerWithoutTheFramework)
{
    std::string command = std::string("'") + QM_PLAIN_HOST + "' '" + QM_DEPLOYKIT_LIBRARY + "' /opt/plnt/ 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[512];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
        output.append(chunk, n);
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_NE(output.find("EditMapisvc 1\n"), std::string::npos) << output;
    EXPECT_NE(output.find("ShowBitmap 1\nHideBitmap 1\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Missing DAO server registration function"), std::string::npos) << output;
    EXPECT_NE(output.find("RegisterDAO 1\n"), std::string::npos) << output;
    char value[256];
    GetPrivateProfileStringA("PLNTM_XP", "PR_PROVIDER_DLL_NAME", "", value, sizeof value, MapisvcPath().c_str());
    EXPECT_STREQ(value, "/opt/plnt/plntm.dll");
}

} // namespace
