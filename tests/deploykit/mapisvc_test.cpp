// EditMapisvc: the service file entries of both products, written into a new file or an
// existing one whose other content stays as it was.
#include "tests/deploykit/deploykit_support.h"

#include "framework/profile.h"

#include <algorithm>
#include <filesystem>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries ServiceEntries(const std::string& display, const std::string& providers, const std::string& library)
{
    return {{"PR_DISPLAY_NAME", display},
            {"PR_RESOURCE_FLAGS", "SERVICE_SINGLE_COPY"},
            {"Providers", providers},
            {"PR_SERVICE_DLL_NAME", library},
            {"PR_SERVICE_SUPPORT_FILES", library},
            {"PR_SERVICE_DELETE_FILES", library},
            {"PR_SERVICE_ENTRY_NAME", "ServiceEntry"},
            {"WIZARD_ENTRY_NAME", "PostlanternWizard"}};
}

Entries AddressBookEntries(const std::string& library)
{
    return {{"PR_RESOURCE_TYPE", "MAPI_AB_PROVIDER"},
            {"PR_RESOURCE_FLAGS", "STATUS_PRIMARY_IDENTITY"},
            {"PR_PROVIDER_DLL_NAME", library},
            {"PR_PROVIDER_DISPLAY", "Postlantern Address Book"},
            {"PR_DISPLAY_NAME", "Postlantern Address Book"}};
}

Entries TransportEntries(const std::string& library)
{
    return {{"PR_RESOURCE_TYPE", "MAPI_TRANSPORT_PROVIDER"},
            {"PR_RESOURCE_FLAGS", "STATUS_PRIMARY_IDENTITY"},
            {"PR_PROVIDER_DLL_NAME", library},
            {"PR_PROVIDER_DISPLAY", "Postlantern Courier"},
            {"PR_DISPLAY_NAME", "Postlantern Courier"}};
}

class EditMapisvcTest : public DeploykitTest {
protected:
    LONG Edit(LONG product, const std::string& folder)
    {
        std::string text = folder;
        return Call(Lib().EditMapisvc, nullptr, product, text.data());
    }

    // The product's three sections hold exactly the tables' keys and values; in a new
    // file also in the tables' order (keys already there keep their places).
    void ExpectProduct(const std::vector<IniSection>& ini, const std::string& service, const std::string& display,
                       const std::string& library, bool inTableOrder = true)
    {
        const IniSection* s = FindIniSection(ini, service);
        const IniSection* ab = FindIniSection(ini, service + "_AB");
        const IniSection* xp = FindIniSection(ini, service + "_XP");
        ASSERT_TRUE(s && ab && xp) << service;
        auto arrange = [&](Entries e) {
            if (!inTableOrder)
                std::sort(e.begin(), e.end());
            return e;
        };
        EXPECT_EQ(arrange(s->entries), arrange(ServiceEntries(display, service + "_AB, " + service + "_XP", library)));
        EXPECT_EQ(arrange(ab->entries), arrange(AddressBookEntries(library)));
        EXPECT_EQ(arrange(xp->entries), arrange(TransportEntries(library)));
    }
};

TEST_F(EditMapisvcTest, FullProductInANewFile)
{
    EXPECT_EQ(Edit(0, "C:\\APP\\"), 1);
    auto ini = ReadIni(MapisvcPath());
    ASSERT_EQ(ini.size(), 4u);
    EXPECT_EQ(ini[0].name, "Services");
    EXPECT_EQ(ini[0].entries, (Entries{{"PLNTM", "Quillmar Postlantern"}}));
    EXPECT_EQ(ini[1].name, "PLNTM");
    EXPECT_EQ(ini[2].name, "PLNTM_AB");
    EXPECT_EQ(ini[3].name, "PLNTM_XP");
    ExpectProduct(ini, "PLNTM", "Quillmar Postlantern", "C:\\APP\\plntm.dll");
    char value[256];
    GetPrivateProfileStringA("PLNTM", "PR_SERVICE_DLL_NAME", "", value, sizeof value, MapisvcPath().c_str());
    EXPECT_STREQ(value, "C:\\APP\\plntm.dll");
    GetPrivateProfileStringA("PLNTM", "WIZARD_ENTRY_NAME", "", value, sizeof value, MapisvcPath().c_str());
    EXPECT_STREQ(value, "PostlanternWizard");
}

TEST_F(EditMapisvcTest, AnyOtherNumberIsTheLightProduct)
{
    for (LONG product : {5, 1, -1}) {
        std::filesystem::remove(MapisvcPath());
        EXPECT_EQ(Edit(product, "/opt/plnt/"), 1) << product;
        auto ini = ReadIni(MapisvcPath());
        ASSERT_EQ(ini.size(), 4u);
        EXPECT_EQ(ini[0].entries, (Entries{{"PLNTL", "Quillmar Postlantern Lite"}}));
        ExpectProduct(ini, "PLNTL", "Quillmar Postlantern Lite", "/opt/plnt/plntl.dll");
        EXPECT_EQ(FindIniSection(ini, "PLNTM"), nullptr);
    }
}

TEST_F(EditMapisvcTest, OnlyTheLibraryValuesGetTheFolder)
{
    // A folder that is empty or lacks its separator is taken as given.
    EXPECT_EQ(Edit(0, ""), 1);
    auto ini = ReadIni(MapisvcPath());
    ExpectProduct(ini, "PLNTM", "Quillmar Postlantern", "plntm.dll");
    EXPECT_EQ(Edit(0, "/srv/app dir"), 1);
    ExpectProduct(ReadIni(MapisvcPath()), "PLNTM", "Quillmar Postlantern", "/srv/app dirplntm.dll");
}

TEST_F(EditMapisvcTest, BothProductsInAnExistingFileLeaveTheRestAlone)
{
    // Windows line ends, comments, another service, a [services] spelt in lower case with
    // entries of its own, and a stale section of ours with an old value.
    const std::string before =
        "; MAPI service file\r\n"
        "[services]\r\n"
        "MSPST AB=Personal Address Book\r\n"
        "MSPST MS=Personal Folders\r\n"
        "\r\n"
        "[MSPST AB]\r\n"
        "PR_DISPLAY_NAME=Personal Address Book\r\n"
        "; keep this comment\r\n"
        "Providers=MSPST ABP\r\n"
        "\r\n"
        "[PLNTM]\r\n"
        "PR_DISPLAY_NAME=Old Name\r\n"
        "PR_SERVICE_DLL_NAME=C:\\OLD\\plntm.dll\r\n"
        "\r\n"
        "[Default Services]\r\n"
        "MSPST AB=Personal Address Book\r\n";
    qmtest::WriteFile(MapisvcPath(), before);
    auto original = ReadIni(MapisvcPath());

    EXPECT_EQ(Edit(0, "/opt/plnt/"), 1);
    EXPECT_EQ(Edit(5, "/opt/plnt/"), 1);
    // Again: the same entries are replaced, never doubled.
    EXPECT_EQ(Edit(0, "/opt/plnt/"), 1);
    auto ini = ReadIni(MapisvcPath());

    const IniSection* services = FindIniSection(ini, "services");
    ASSERT_NE(services, nullptr);
    EXPECT_EQ(FindIniSection(ini, "Services"), nullptr);
    EXPECT_EQ(services->entries, (Entries{{"MSPST AB", "Personal Address Book"},
                                          {"MSPST MS", "Personal Folders"},
                                          {"PLNTM", "Quillmar Postlantern"},
                                          {"PLNTL", "Quillmar Postlantern Lite"}}));
    ExpectProduct(ini, "PLNTM", "Quillmar Postlantern", "/opt/plnt/plntm.dll", false);
    ExpectProduct(ini, "PLNTL", "Quillmar Postlantern Lite", "/opt/plnt/plntl.dll");
    for (const char* name : {"MSPST AB", "Default Services"}) {
        const IniSection* now = FindIniSection(ini, name);
        const IniSection* was = FindIniSection(original, name);
        ASSERT_TRUE(now && was) << name;
        // A section that ended the file may now be followed by a blank line.
        std::vector<std::string> lines = now->lines;
        while (lines.size() > was->lines.size() && (lines.back() == "\r" || lines.back().empty()))
            lines.pop_back();
        EXPECT_EQ(lines, was->lines) << name;
    }
    EXPECT_EQ(qmtest::ReadText(MapisvcPath()).rfind("; MAPI service file\r\n", 0), 0u);
    EXPECT_EQ(qmtest::ReadText(MapisvcPath()).find("\r\n\r\n\r\n"), std::string::npos);
    size_t bareLineFeeds = 0;
    std::string text = qmtest::ReadText(MapisvcPath());
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            ++bareLineFeeds;
    EXPECT_EQ(bareLineFeeds, 0u);
}

TEST_F(EditMapisvcTest, RefusesWhatItCannotWriteSoundly)
{
    LONG product = 0;
    std::string folder = "/opt/plnt/";
    EXPECT_EQ(Lib().EditMapisvc(nullptr, nullptr, folder.data()), 0);
    EXPECT_EQ(Lib().EditMapisvc(nullptr, &product, nullptr), 0);
    // A line break in the folder would end up half-written; nothing is written at all.
    EXPECT_EQ(Edit(0, "/opt/x\ny/"), 0);
    EXPECT_EQ(Edit(0, "/opt/x\ry/"), 0);
    EXPECT_FALSE(std::filesystem::exists(MapisvcPath()));
}

TEST_F(EditMapisvcTest, FailsWithoutASystemFolder)
{
    // The data folder is a plain file: the system folder cannot be made.
    qmtest::WriteFile(Root() + "/blocked", "x");
    SetEnv("XDG_DATA_HOME", Root() + "/blocked");
    EXPECT_EQ(Edit(0, "/opt/plnt/"), 0);

    // A system folder longer than 255 characters is refused rather than cut short.
    std::string deep = Root() + "/" + std::string(250, 'd');
    SetEnv("XDG_DATA_HOME", deep);
    EXPECT_EQ(Edit(0, "/opt/plnt/"), 0);
    EXPECT_FALSE(std::filesystem::exists(deep + "/quillmar/system/Mapisvc.inf"));

    // Exactly 255 characters still fit.
    std::string fits = Root() + "/" + std::string(255 - Root().size() - 1 - std::string("/quillmar/system").size(), 'f');
    SetEnv("XDG_DATA_HOME", fits);
    EXPECT_EQ(Edit(0, "/opt/plnt/"), 1);
    EXPECT_TRUE(std::filesystem::exists(fits + "/quillmar/system/Mapisvc.inf"));
}

TEST_F(EditMapisvcTest, AFileThatCannotBeWrittenIsAFailure)
{
    std::filesystem::create_directories(MapisvcPath());
    EXPECT_EQ(Edit(0, "/opt/plnt/"), 0);
}

} // namespace
