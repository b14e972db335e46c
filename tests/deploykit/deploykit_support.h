// Shared pieces of the setup library's tests: the library loaded as the installer loads it,
// a scratch home for the per-user folders (tests/support), a front end that records picture windows, and
// a plain reader of INI files that does not go through the library's own profile code.
#pragma once

#include "deploykit/deploykit.h"

#include "framework/system.h"
#include "framework/ui/scripted_front_end.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The library, loaded once per test program by its path, and its six entry points.
struct DeploykitLibrary {
    HMODULE module = nullptr;
    DeploykitEntry EditMapisvc = nullptr;
    DeploykitEntry CheckMapi = nullptr;
    DeploykitEntry RunWizard = nullptr;
    DeploykitEntry ShowBitmap = nullptr;
    DeploykitEntry HideBitmap = nullptr;
    DeploykitEntry RegisterDAO = nullptr;

    static const DeploykitLibrary& Get();
};

// A front end that also keeps the modeless dialogs that appear and go.
class PictureFrontEnd : public CScriptedFrontEnd {
public:
    struct Shown {
        UINT templateId;
        HWND hwnd;
        CString pictureName;   // the text of its picture control, if it has one
        size_t controlCount;
    };
    std::vector<Shown> shown;
    std::vector<UINT> closed;
    std::map<HWND, UINT> open;

    void ShowModeless(CDialog& dialog) override;
    void CloseModeless(CDialog& dialog) override;
};

// One section of an INI file as written, keys in file order.
struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<std::string> lines;   // the section's lines, header included, as they are
};
std::vector<IniSection> ReadIni(const std::string& path);
const IniSection* FindIniSection(const std::vector<IniSection>& sections, const std::string& name);


// Each test runs with the per-user folders in a fresh scratch folder and the system folder
// inside it; the library's picture, if a test left one up, is taken away afterwards.
class DeploykitTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const DeploykitLibrary& Lib() const { return DeploykitLibrary::Get(); }
    const std::string& Root() const { return m_scratch->Root(); }
    const std::string& SystemFolder() const { return m_system; }
    std::string MapisvcPath() const { return m_system + "/Mapisvc.inf"; }
    // Puts a library into the system folder under the given name (a symbolic link, so a
    // test that loads the original path reaches the same loaded library).
    void InstallSystemLibrary(const char* original, const char* name) const;
    void SetEnv(const char* name, const std::string& value) { m_scratch->SetEnv(name, value); }

    static LONG Call(DeploykitEntry entry, HWND window, LONG value, char* text)
    {
        return entry(window, &value, text);
    }

private:
    std::unique_ptr<qmtest::ScratchFolder> m_scratch;
    std::string m_system;
};
