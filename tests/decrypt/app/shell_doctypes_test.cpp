// The document types registered at start-up: the desktop learns .p7m and .sig from the
// program's document strings, and a user's own files are never replaced.
#include "decrypt/app/doc_types.h"
#include "decrypt/app/resources.h"
#include "framework/system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ScratchFolder()
{
    char dir[] = "/tmp/qm_doctypes_XXXXXX";
    return ::mkdtemp(dir) ? std::string(dir) : std::string();
}

TEST(ShellDocTypes, PackageAndEntryComeFromTheDocumentStrings)
{
    RegisterDecryptResources();
    std::string xml = DocTypesMimePackage().c_str();
    EXPECT_NE(xml.find("<mime-type type=\"application/pkcs7-mime\">\n    <comment>S/MIME clear encoding</comment>\n"
                       "    <glob pattern=\"*.p7m\"/>"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<comment>S/MIME human-readable encoding</comment>"), std::string::npos);
    EXPECT_NE(xml.find("<glob pattern=\"*.sig\" weight=\"10\"/>"), std::string::npos);

    std::string entry = DocTypesDesktopEntry("/opt/q/bin/decrypt").c_str();
    EXPECT_NE(entry.find("Exec=/opt/q/bin/decrypt %F\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("MimeType=application/pkcs7-mime;application/x-quillmar-smime-sig;\n"), std::string::npos);
    EXPECT_NE(entry.find("Name=Quillmar Postlantern Unsealer\n"), std::string::npos);
    EXPECT_NE(entry.find("Icon=quillmar-unsealer\n"), std::string::npos);

    // The installed files are the registered ones: one entry (the same desktop id), the same
    // types, the same icon.
    std::string packaged = Read(std::string(QM_SOURCE_DIR) + "/packaging/quillmar-unsealer.desktop");
    std::string mine = DocTypesDesktopEntry("decrypt").c_str();
    EXPECT_EQ(packaged + "X-Quillmar-Registered=true\n", mine);
    EXPECT_EQ(Read(std::string(QM_SOURCE_DIR) + "/packaging/quillmar-unsealer.xml"), xml);
    EXPECT_EQ(Read(std::string(QM_SOURCE_DIR) + "/packaging/quillmar-unsealer.svg"), DocTypesIcon().c_str());

    // A path with blanks or the field-code character is quoted, not split or expanded.
    entry = DocTypesDesktopEntry("/home/a b/100%/decrypt").c_str();
    EXPECT_NE(entry.find("Exec=\"/home/a b/100%%/decrypt\" %F\n"), std::string::npos) << entry;
}

TEST(ShellDocTypes, WrittenOnceAndNeverOverTheUsersOwn)
{
    RegisterDecryptResources();
    std::string data = ScratchFolder();
    ASSERT_FALSE(data.empty());
    // No update tool on the search path: registering must not depend on it.
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(RegisterShellFileTypes(data.c_str(), "/usr/bin/decrypt"), 3);
    EXPECT_EQ(RegisterShellFileTypes(data.c_str(), "/usr/bin/decrypt"), 0);
    EXPECT_NE(Read(data + "/mime/packages/quillmar-unsealer.xml").find("*.p7m"), std::string::npos);
    EXPECT_NE(Read(data + "/applications/quillmar-unsealer.desktop").find("Exec=/usr/bin/decrypt %F"),
              std::string::npos);

    // The program moved: its own entry follows it.
    EXPECT_EQ(RegisterShellFileTypes(data.c_str(), "/opt/new place/decrypt"), 1);
    EXPECT_NE(Read(data + "/applications/quillmar-unsealer.desktop").find("Exec=\"/opt/new place/decrypt\" %F"),
              std::string::npos);

    // The user edited the entry: a later start leaves it as it is.
    { std::ofstream(data + "/applications/quillmar-unsealer.desktop") << "mine\n"; }
    EXPECT_EQ(RegisterShellFileTypes(data.c_str(), "/other/decrypt"), 0);
    EXPECT_EQ(Read(data + "/applications/quillmar-unsealer.desktop"), "mine\n");
    struct stat st;
    EXPECT_NE(::stat((data + "/applications/quillmar-unsealer.desktop.new").c_str(), &st), 0);

    // A data folder that cannot be written is reported, and nothing is left behind.
    std::string locked = ScratchFolder();
    ASSERT_EQ(::chmod(locked.c_str(), 0500), 0);
    if (::access((locked + "/.").c_str(), W_OK) != 0) {   // not when running as root
        EXPECT_EQ(RegisterShellFileTypes(locked.c_str(), "/usr/bin/decrypt"), -1);
    }
    ::chmod(locked.c_str(), 0700);
    ::setenv("PATH", oldPath.c_str(), 1);
    std::system(("rm -rf '" + data + "' '" + locked + "'").c_str());
}

// Registrations of earlier versions (the .sig glob that took every .sig file, an entry
// without icon) give way; the user's own changes to them do not.
TEST(ShellDocTypes, EarlierRegistrationsAreBroughtUpToDate)
{
    RegisterDecryptResources();
    const std::string oldPackage =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/pkcs7-mime\">\n    <comment>S/MIME clear encoding</comment>\n"
        "    <glob pattern=\"*.p7m\"/>\n  </mime-type>\n"
        "  <mime-type type=\"application/x-quillmar-smime-sig\">\n"
        "    <comment>S/MIME human-readable encoding</comment>\n    <sub-class-of type=\"text/plain\"/>\n"
        "    <glob pattern=\"*.sig\"/>\n  </mime-type>\n</mime-info>\n";
    const std::string oldEntry =
        "[Desktop Entry]\nType=Application\nName=Quillmar Postlantern Unsealer\n"
        "Comment=Decrypt S/MIME messages with your decrypting ID\nExec=/old/decrypt %F\nTerminal=true\n"
        "Categories=Utility;Security;\nMimeType=application/pkcs7-mime;application/x-quillmar-smime-sig;\n"
        "NoDisplay=true\n";
    const std::string oldIcon =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">\n"
        "  <rect x=\"4\" y=\"12\" width=\"56\" height=\"40\" rx=\"4\" fill=\"#f4efe1\" stroke=\"#5a4a2f\" stroke-width=\"3\"/>\n"
        "  <path d=\"M6 15 L32 36 L58 15\" fill=\"none\" stroke=\"#5a4a2f\" stroke-width=\"3\"/>\n"
        "  <circle cx=\"44\" cy=\"44\" r=\"12\" fill=\"#b23a2b\" stroke=\"#6e1f16\" stroke-width=\"2\"/>\n"
        "  <rect x=\"39\" y=\"42\" width=\"10\" height=\"8\" rx=\"1\" fill=\"#f4efe1\"/>\n"
        "  <path d=\"M41 42 v-3 a3 3 0 0 1 6 0 v3\" fill=\"none\" stroke=\"#f4efe1\" stroke-width=\"2\"/>\n"
        "</svg>\n";
    const std::string icons = "/icons/hicolor/scalable/apps";
    const struct {
        std::string package, entry, icon;
        bool replaced;
    } cases[] = {{oldPackage, oldEntry, oldIcon, true},
                 {oldPackage + "<!-- mine -->", oldEntry + "X-Mine=1\n", oldIcon + "<!-- mine -->", false}};
    for (const auto& c : cases) {
        std::string data = ScratchFolder();
        ASSERT_EQ(std::system(("mkdir -p '" + data + "/mime/packages' '" + data + "/applications' '" + data + icons + "'")
                                  .c_str()),
                  0);
        { std::ofstream(data + "/mime/packages/quillmar-unsealer.xml") << c.package; }
        { std::ofstream(data + "/applications/quillmar-unsealer.desktop") << c.entry; }
        { std::ofstream(data + icons + "/quillmar-unsealer.svg") << c.icon; }
        RegisterShellFileTypes(data.c_str(), "/usr/bin/decrypt");
        EXPECT_EQ(Read(data + "/mime/packages/quillmar-unsealer.xml"),
                  c.replaced ? std::string(DocTypesMimePackage().c_str()) : c.package);
        EXPECT_EQ(Read(data + "/applications/quillmar-unsealer.desktop"),
                  c.replaced ? std::string(DocTypesDesktopEntry("/usr/bin/decrypt").c_str()) : c.entry);
        EXPECT_EQ(Read(data + icons + "/quillmar-unsealer.svg"), c.replaced ? std::string(DocTypesIcon().c_str()) : c.icon);
        std::system(("rm -rf '" + data + "'").c_str());
    }
}

// What shared-mime-info's own tools make of the registered types: a detached OpenPGP
// signature stays theirs, whether armoured or binary; our base64 .sig forms are ours. Then
// --unregister's removal takes back exactly what was registered.
TEST(ShellDocTypes, TheSigTypeNeverTakesOtherSigFiles)
{
    RegisterDecryptResources();
    if (std::system("command -v update-mime-database >/dev/null && command -v xdg-mime >/dev/null") != 0)
        GTEST_SKIP() << "shared-mime-info or xdg-utils is not installed";
    std::string data = ScratchFolder();
    ASSERT_FALSE(data.empty());
    // The program's own update runs in the background: here it is run once, and waited for.
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", "/nonexistent", 1);
    const int written = RegisterShellFileTypes(data.c_str(), "/usr/bin/decrypt");
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_GE(written, 1);
    ASSERT_EQ(std::system(("update-mime-database '" + data + "/mime'").c_str()), 0);
    std::string der = Read(std::string(QM_SOURCE_DIR) + "/samples/demo.p7m");
    const struct {
        const char* name;
        std::string content;
        const char* type;
    } files[] = {
        {"pgp.sig", "-----BEGIN PGP SIGNATURE-----\n\niQEzBAABCAAdFiEE\n-----END PGP SIGNATURE-----\n",
         "application/pgp-signature"},
        {"binary.sig", std::string("\x88\x75\x04\x00\x16\x08\x00\x1d", 8), "application/pgp-signature"},
        {"ours.sig", "MIIC0gYJKoZIhvcNAQcDoIICwzCCAr8CAQAxggFq\nMIIBZgIBADBOMEAxCzAJBgNV\n",
         "application/x-quillmar-smime-sig"},
        {"armoured.sig", "-----BEGIN PKCS7-----\nMIIC0gYJKoZIhvcNAQcD\n-----END PKCS7-----\n",
         "application/x-quillmar-smime-sig"},
        {"demo.p7m", der, "application/pkcs7-mime"},
    };
    for (const auto& f : files) {
        { std::ofstream(data + "/" + f.name, std::ios::binary) << f.content; }
        std::string command = "XDG_DATA_HOME='" + data + "' xdg-mime query filetype '" + data + "/" + f.name + "'";
        FILE* p = ::popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char line[256] = {};
        std::fgets(line, sizeof line, p);
        ::pclose(p);
        EXPECT_EQ(std::string(line), std::string(f.type) + "\n") << f.name;
    }

    // Only what was registered and left unchanged goes.
    { std::ofstream(data + "/icons/hicolor/scalable/apps/quillmar-unsealer.svg") << "<svg/>"; }
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(UnregisterShellFileTypes(data.c_str()), 2);
    struct stat st;
    EXPECT_NE(::stat((data + "/applications/quillmar-unsealer.desktop").c_str(), &st), 0);
    EXPECT_NE(::stat((data + "/mime/packages/quillmar-unsealer.xml").c_str(), &st), 0);
    EXPECT_EQ(::stat((data + "/icons/hicolor/scalable/apps/quillmar-unsealer.svg").c_str(), &st), 0);
    EXPECT_EQ(UnregisterShellFileTypes(data.c_str()), 0);
    ::setenv("PATH", path.c_str(), 1);
    std::system(("rm -rf '" + data + "'").c_str());
}

TEST(ShellDocTypes, UserDataFolderFollowsTheEnvironment)
{
    std::string old = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    ::setenv("XDG_DATA_HOME", "/tmp/qm-data-home", 1);
    EXPECT_EQ(AfxGetUserDataFolder(), "/tmp/qm-data-home");
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/tmp/qm-home", 1);
    EXPECT_EQ(AfxGetUserDataFolder(), "/tmp/qm-home/.local/share");
    ::setenv("HOME", home.c_str(), 1);
    if (old.empty())
        ::unsetenv("XDG_DATA_HOME");
    else
        ::setenv("XDG_DATA_HOME", old.c_str(), 1);
}

}  // namespace
