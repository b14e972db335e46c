// The document types come from the string table's document strings (fields separated by
// newlines: window title, document name, new-file name, filter name, extension, type id,
// type name), as the shell registration of the original read them.
#include "decrypt/app/doc_types.h"

#include "decrypt/app/resources.h"
#include "framework/afx.h"
#include "framework/fsutil.h"
#include "framework/system.h"

#include <vector>

namespace {

constexpr const char* kPackageName = "quillmar-unsealer.xml";
constexpr const char* kEntryName = "quillmar-unsealer.desktop";

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
        if (doc.extension == ".sig")
            xml += "    <sub-class-of type=\"text/plain\"/>\n";
        xml += "    <glob pattern=\"*" + XmlEscape(doc.extension) + "\"/>\n";
        xml += "  </mime-type>\n";
    }
    return xml + "</mime-info>\n";
}

CString DocTypesDesktopEntry(const char* program)
{
    CString types;
    for (UINT id : {IDS_DOCTYPE_P7M, IDS_DOCTYPE_SIG}) {
        DocString doc = ReadDocString(id);
        if (!doc.extension.IsEmpty())
            types += CString(MimeTypeOf(doc.extension)) + ";";
    }
    return CString("[Desktop Entry]\n"
                   "Type=Application\n"
                   "Name=") + kAppTitle + "\n"
           "Comment=Decrypt S/MIME messages with your decrypting ID\n"
           "Exec=" + ExecQuote(program) + " %F\n"
           "Terminal=true\n"
           "Categories=Utility;Security;\n"
           "MimeType=" + types + "\n"
           "NoDisplay=true\n";
}

int RegisterShellFileTypes(const char* dataFolder, const char* program)
{
    if (!dataFolder || !*dataFolder)
        return -1;
    CString base = dataFolder;
    int package = WriteIfMissing(base + "/mime/packages", kPackageName, DocTypesMimePackage());
    int entry = WriteIfMissing(base + "/applications", kEntryName, DocTypesDesktopEntry(program));
    if (package < 0 || entry < 0)
        return -1;
    if (package > 0) {
        // The desktop reads types from the compiled database; without the tool the package
        // is still picked up at the next update.
        CString command = "update-mime-database \"" + base + "/mime\"";
        AfxStartProcess(command, nullptr, nullptr, FALSE);
    }
    return package + entry;
}
