#include "tests/deploykit/deploykit_support.h"

#include "framework/ui/dialog.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

const DeploykitLibrary& DeploykitLibrary::Get()
{
    static const DeploykitLibrary library = [] {
        DeploykitLibrary lib;
        lib.module = LoadLibraryA(QM_DEPLOYKIT_LIBRARY);
        if (!lib.module)
            return lib;
        auto entry = [&](const char* name) { return reinterpret_cast<DeploykitEntry>(GetProcAddress(lib.module, name)); };
        lib.EditMapisvc = entry("EditMapisvc");
        lib.CheckMapi = entry("CheckMapi");
        lib.RunWizard = entry("RunWizard");
        lib.ShowBitmap = entry("ShowBitmap");
        lib.HideBitmap = entry("HideBitmap");
        lib.RegisterDAO = entry("RegisterDAO");
        return lib;
    }();
    return library;
}

void PictureFrontEnd::ShowModeless(CDialog& dialog)
{
    CScriptedFrontEnd::ShowModeless(dialog);
    Shown s{dialog.GetTemplateId(), dialog.GetSafeHwnd(), CString(), dialog.GetControls().size()};
    for (const CDialogControl& c : dialog.GetControls())
        if (c.kind == ControlKind::Picture)
            s.pictureName = c.text;
    shown.push_back(s);
    open[dialog.GetSafeHwnd()] = dialog.GetTemplateId();
}

void PictureFrontEnd::CloseModeless(CDialog& dialog)
{
    CScriptedFrontEnd::CloseModeless(dialog);
    closed.push_back(dialog.GetTemplateId());
    open.erase(dialog.GetSafeHwnd());
}

std::vector<IniSection> ReadIni(const std::string& path)
{
    std::vector<IniSection> sections;
    std::string text = qmtest::ReadText(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        start = nl == std::string::npos ? text.size() : nl + 1;
        std::string bare = line;
        if (!bare.empty() && bare.back() == '\r')
            bare.pop_back();
        if (!bare.empty() && bare[0] == '[' && bare.find(']') != std::string::npos) {
            sections.push_back(IniSection{bare.substr(1, bare.find(']') - 1), {}, {}});
        } else if (!sections.empty() && !bare.empty() && bare[0] != ';' && bare.find('=') != std::string::npos) {
            size_t eq = bare.find('=');
            sections.back().entries.emplace_back(bare.substr(0, eq), bare.substr(eq + 1));
        }
        if (!sections.empty())
            sections.back().lines.push_back(line);
    }
    return sections;
}

const IniSection* FindIniSection(const std::vector<IniSection>& sections, const std::string& name)
{
    for (const IniSection& s : sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

void DeploykitTest::SetUp()
{
    ASSERT_NE(DeploykitLibrary::Get().module, nullptr) << static_cast<const char*>(AfxGetLibraryError());
    // Every profile write is flushed to disk; a memory file system, when there is one and
    // no other temporary folder was asked for, keeps the suite quick.
    std::string parent;
    if (!std::getenv("TMPDIR") && ::access("/dev/shm", W_OK | X_OK) == 0)
        parent = "/dev/shm";
    m_scratch = std::make_unique<qmtest::ScratchFolder>(parent);
    ASSERT_FALSE(Root().empty());
    char folder[1024];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof folder);
    m_system = folder;
    ASSERT_EQ(m_system, Root() + "/data/quillmar/system");
}

void DeploykitTest::TearDown()
{
    LONG none = 0;
    Lib().HideBitmap(nullptr, &none, nullptr);
    m_scratch.reset();
}

void DeploykitTest::InstallSystemLibrary(const char* original, const char* name) const
{
    std::error_code ec;
    fs::remove(m_system + "/" + name, ec);
    fs::create_symlink(original, m_system + "/" + name);
}

#if defined(__SANITIZE_ADDRESS__)
// The library carries its own copy of the framework, whose globals give way to this
// program's framework when it is loaded here: each such global is registered twice at one
// address, the same size both times. Only a size that differs is a real clash.
extern "C" const char* __asan_default_options() { return "detect_odr_violation=1"; }
#endif
