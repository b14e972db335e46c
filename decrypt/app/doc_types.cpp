// The document types come from the string table's document strings (fields separated by
// newlines: window title, document name, new-file name, filter name, extension, type id,
// type name), as the shell registration of the original read them.
#include "decrypt/app/doc_types.h"
#include "decrypt/app/app_pictures.h"

#include "decrypt/app/resources.h"
#include "framework/afx.h"
#include "framework/fsutil.h"
#include "framework/system.h"

#include <string>
#include <vector>

namespace {

constexpr const char* kPackageName = "quillmar-unsealer.xml";
constexpr const char* kEntryName = "quillmar-unsealer.desktop";
constexpr const char* kIconName = "quillmar-unsealer.svg";
constexpr const char* kIconFolder = "/icons/hicolor/scalable/apps";
// Marks an entry the program wrote: only such an entry is brought up to date or removed.
constexpr const char* kEntryMark = "X-Quillmar-Registered=true\n";

// The icon as earlier versions wrote it: a start replaces it with today's.
constexpr const char* kLegacyIcon =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">\n"
    "  <rect x=\"4\" y=\"12\" width=\"56\" height=\"40\" rx=\"4\" fill=\"#f4efe1\" stroke=\"#5a4a2f\" stroke-width=\"3\"/>\n"
    "  <path d=\"M6 15 L32 36 L58 15\" fill=\"none\" stroke=\"#5a4a2f\" stroke-width=\"3\"/>\n"
    "  <circle cx=\"44\" cy=\"44\" r=\"12\" fill=\"#b23a2b\" stroke=\"#6e1f16\" stroke-width=\"2\"/>\n"
    "  <rect x=\"39\" y=\"42\" width=\"10\" height=\"8\" rx=\"1\" fill=\"#f4efe1\"/>\n"
    "  <path d=\"M41 42 v-3 a3 3 0 0 1 6 0 v3\" fill=\"none\" stroke=\"#f4efe1\" stroke-width=\"2\"/>\n"
    "</svg>\n";

struct DocString {
    CString extension;   // ".p7m"
    CString typeName;    // "S/MIME clear encoding"
};

DocString ReadDocString(UINT id)
{
    std::vector<CString> fields;
    CString text = DecryptString(id) ? DecryptString(id) : "";
    int start = 0;
    for (;;) {
        int nl = text.Find('\n', start);
        if (nl < 0) {
            fields.push_back(text.Mid(start));
            break;
        }
        fields.push_back(text.Mid(start, nl - start));
        start = nl + 1;
    }
    DocString doc;
    if (fields.size() > 6) {
        doc.extension = fields[4];
        doc.typeName = fields[6];
    }
    return doc;
}

// The MIME type of each document type: .p7m is the standard one; the base64 .sig form
// has no registered type of its own.
const char* MimeTypeOf(const CString& extension)
{
    return extension == ".p7m" ? "application/pkcs7-mime" : "application/x-quillmar-smime-sig";
}

CString XmlEscape(const CString& text)
{
    CString out;
    for (int i = 0; i < text.GetLength(); ++i) {
        switch (text[i]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += text[i];
        }
    }
    return out;
}

// Quotes a program path for the entry's Exec key where it needs it.
CString ExecQuote(const char* program)
{
    CString p = program;
    bool plain = !p.IsEmpty();
    for (int i = 0; i < p.GetLength() && plain; ++i) {
        char c = p[i];
        plain = !(c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\\' || c == '$' || c == '`' || c == '%' ||
                  c == '\n' || c == ';' || c == '&' || c == '|' || c == '<' || c == '>' || c == '(' || c == ')' ||
                  c == '*' || c == '?' || c == '#' || c == '~');
    }
    if (plain)
        return p;
    CString out = "\"";
    for (int i = 0; i < p.GetLength(); ++i) {
        char c = p[i];
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += "\\\\";   // the entry's string escape, then the Exec quoting
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (c == '\n')
            continue;
        out += c;
    }
    return out + "\"";
}

// Writes the file beside its final name and moves it there only when nothing is there:
// 1 when written, 0 when the name was taken (the user's own file wins), -1 on failure.
int WriteIfMissing(const CString& folder, const char* name, const CString& text)
{
    CString path = folder + "/" + name;
    CFileStatus status;
    if (CFile::GetStatus(path, status))
        return 0;
    if (!AfxCreateFolderPath(folder, 0755))
        return -1;
    auto write = [&](CFile& file) { file.Write(text.c_str(), static_cast<UINT>(text.GetLength())); };
    DWORD result = AfxWriteFileSafely(path, write, AFX_WRITE_CREATE_ONLY | AFX_WRITE_UMASK, 0666);
    if (result == ERROR_ALREADY_EXISTS)
        return 0;   // made meanwhile by someone else: theirs wins
    return result == ERROR_SUCCESS ? 1 : -1;
}

}  // namespace

namespace {

// The package as earlier versions wrote it: its .sig glob took every .sig file, so a start
// replaces it.
CString LegacyMimePackage()
{
    CString xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (UINT id : {IDS_DOCTYPE_P7M, IDS_DOCTYPE_SIG}) {
        DocString doc = ReadDocString(id);
        if (doc.extension.IsEmpty())
            continue;
        xml += CString("  <mime-type type=\"") + MimeTypeOf(doc.extension) + "\">\n";
        xml += "    <comment>" + XmlEscape(doc.typeName) + "</comment>\n";
        if (doc.extension == ".sig")
            xml += "    <sub-class-of type=\"text/plain\"/>\n";
        xml += "    <glob pattern=\"*" + XmlEscape(doc.extension) + "\"/>\n";
        xml += "  </mime-type>\n";
    }
    return xml + "</mime-info>\n";
}

}  // namespace

CString DocTypesMimePackage()
{
    CString xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (UINT id : {IDS_DOCTYPE_P7M, IDS_DOCTYPE_SIG}) {
        DocString doc = ReadDocString(id);
        if (doc.extension.IsEmpty())
            continue;
        xml += CString("  <mime-type type=\"") + MimeTypeOf(doc.extension) + "\">\n";
        xml += "    <comment>" + XmlEscape(doc.typeName) + "</comment>\n";
        if (doc.extension == ".sig") {
            // .sig is shared (detached OpenPGP signatures above all): the glob weighs less
            // than the usual 50, so their type keeps the name, and the content decides: base64
            // of a PKCS #7 content info (SEQUENCE, then the OID 1.2.840.113549.1.7, at each
            // length form's offset) or PEM armour.
            xml += "    <sub-class-of type=\"text/plain\"/>\n";
            xml += "    <glob pattern=\"*" + XmlEscape(doc.extension) + "\" weight=\"10\"/>\n";
            xml += "    <magic priority=\"80\">\n"
                   "      <match type=\"string\" offset=\"0\" value=\"MIAGCSqGSIb3DQEH\"/>\n"
                   "      <match type=\"string\" offset=\"4\" value=\"BgkqhkiG9w0BBw\"/>\n"
                   "      <match type=\"string\" offset=\"8\" value=\"KoZIhvcNAQc\"/>\n"
                   "      <match type=\"string\" offset=\"8\" value=\"CSqGSIb3DQEH\"/>\n"
                   "      <match type=\"string\" offset=\"0\" value=\"-----BEGIN PKCS7-----\"/>\n"
                   "      <match type=\"string\" offset=\"0\" value=\"-----BEGIN CMS-----\"/>\n"
                   "    </magic>\n";
        } else {
            xml += "    <glob pattern=\"*" + XmlEscape(doc.extension) + "\"/>\n";
        }
        xml += "  </mime-type>\n";
    }
    return xml + "</mime-info>\n";
}

CString DocTypesIcon()
{
    return kAppIconSvg;
}

namespace {

CString MimeTypeList()
{
    CString types;
    for (UINT id : {IDS_DOCTYPE_P7M, IDS_DOCTYPE_SIG}) {
        DocString doc = ReadDocString(id);
        if (!doc.extension.IsEmpty())
            types += CString(MimeTypeOf(doc.extension)) + ";";
    }
    return types;
}

// The entry with its Exec line as given (the lines of earlier versions when `legacy`); a
// program that shows windows of its own starts without a terminal.
CString EntryWithExec(const CString& execLine, bool legacy, bool windows = false)
{
    return CString("[Desktop Entry]\n"
                   "Type=Application\n"
                   "Name=") + kAppTitle + "\n"
           "Comment=Decrypt S/MIME messages with your decrypting ID\n" +
           execLine +
           (legacy ? "" : "Icon=quillmar-unsealer\n") +
           (windows ? "Terminal=false\n" : "Terminal=true\n") +
           "Categories=Utility;Security;\n"
           "MimeType=" + MimeTypeList() + "\n" +
           (legacy ? "NoDisplay=true\n" : "NoDisplay=false\n");
}

CString ExecLineOf(const CString& entry)
{
    int start = entry.Find("\nExec=");
    if (start < 0)
        return CString();
    int end = entry.Find('\n', start + 1);
    return end < 0 ? CString() : entry.Mid(start + 1, end - start);
}

// An entry the program wrote (now or in an earlier version) that nobody changed since,
// whatever program path its Exec line holds.
bool IsOurEntry(const CString& entry)
{
    const CString exec = ExecLineOf(entry);
    return !exec.IsEmpty() && (entry == EntryWithExec(exec, false) + kEntryMark || entry == EntryWithExec(exec, false, true) + kEntryMark ||
                               entry == EntryWithExec(exec, true));
}

bool ReadText(const CString& path, CString& text)
{
    std::string content;
    if (AfxGetPathKind(path) != AfxPathKind::regular || !AfxReadWholeFile(path, content, 1u << 20))
        return false;
    text = content.c_str();
    return text.GetLength() == static_cast<int>(content.size());
}

// Replaces a file of ours whole: 1 when written, -1 on failure.
int Replace(const CString& path, const CString& text)
{
    auto write = [&](CFile& file) { file.Write(text.c_str(), static_cast<UINT>(text.GetLength())); };
    return AfxWriteFileSafely(path, write, AFX_WRITE_REPLACE | AFX_WRITE_UMASK, 0666) == ERROR_SUCCESS ? 1 : -1;
}

void UpdateMimeDatabase(const CString& dataFolder)
{
    // The desktop reads types from the compiled database; without the tool the package is
    // still picked up at the next update.
    CString command = "update-mime-database \"" + dataFolder + "/mime\"";
    AfxStartProcess(command, nullptr, nullptr, FALSE);
}

}  // namespace

CString DocTypesDesktopEntry(const char* program, bool windows)
{
    return EntryWithExec("Exec=" + ExecQuote(program) + " %F\n", false, windows) + kEntryMark;
}

int RegisterShellFileTypes(const char* dataFolder, const char* program, bool windows)
{
    if (!dataFolder || !*dataFolder)
        return -1;
    CString base = dataFolder;
    const CString packagePath = base + "/mime/packages/" + kPackageName;
    const CString entryPath = base + "/applications/" + kEntryName;
    CString existing;
    int package = 0;
    if (ReadText(packagePath, existing) && existing == LegacyMimePackage())
        package = Replace(packagePath, DocTypesMimePackage());
    else
        package = WriteIfMissing(base + "/mime/packages", kPackageName, DocTypesMimePackage());
    int entry = 0;
    const CString wanted = DocTypesDesktopEntry(program, windows);
    if (ReadText(entryPath, existing) && existing != wanted && IsOurEntry(existing))
        entry = Replace(entryPath, wanted);   // the program moved: the entry follows it
    else
        entry = WriteIfMissing(base + "/applications", kEntryName, wanted);
    int icon = 0;
    const CString iconPath = base + kIconFolder + "/" + kIconName;
    if (ReadText(iconPath, existing) && existing == kLegacyIcon)
        icon = Replace(iconPath, DocTypesIcon());
    else
        icon = WriteIfMissing(base + kIconFolder, kIconName, DocTypesIcon());
    if (package < 0 || entry < 0 || icon < 0)
        return -1;
    if (package > 0)
        UpdateMimeDatabase(base);
    return package + entry + icon;
}

int UnregisterShellFileTypes(const char* dataFolder)
{
    if (!dataFolder || !*dataFolder)
        return -1;
    const CString base = dataFolder;
    const CString packagePath = base + "/mime/packages/" + kPackageName;
    const CString entryPath = base + "/applications/" + kEntryName;
    const CString iconPath = base + kIconFolder + "/" + kIconName;
    int removed = 0;
    bool failed = false;
    bool packageGone = false;
    CString text;
    auto remove = [&](const CString& path) {
        if (DeleteFileA(path))
            ++removed;
        else
            failed = true;
        return !failed;
    };
    if (ReadText(packagePath, text) && (text == DocTypesMimePackage() || text == LegacyMimePackage()))
        packageGone = remove(packagePath);
    if (ReadText(entryPath, text) && IsOurEntry(text))
        remove(entryPath);
    if (ReadText(iconPath, text) && (text == DocTypesIcon() || text == kLegacyIcon))
        remove(iconPath);
    if (packageGone)
        UpdateMimeDatabase(base);
    return failed ? -1 : removed;
}
