#include "platform/session/Autostart.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/HomeFolder.h"
#include "platform/Paths.h"

#include <filesystem>

namespace {

// The escapes of a desktop entry's string values.
std::string EscapeValue(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One argument of Exec=, always quoted so that blanks and reserved characters stay literal;
// '%' is doubled because it introduces field codes.
std::string QuoteExecArgument(const std::string &arg)
{
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        if (c == '%')
            out += '%';
        out += c;
    }
    out += '"';
    return out;
}

} // namespace

std::string DesktopEntryText(const std::string &name, const std::string &programPath, const std::string &workingFolder)
{
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=" + EscapeValue(name) + "\n";
    text += "Exec=" + EscapeValue(QuoteExecArgument(programPath)) + "\n";
    text += "Path=" + EscapeValue(workingFolder) + "\n";
    text += "Terminal=false\n";
    return text;
}

std::string XdgAutostart::EntryPath(const std::string &name) const
{
    std::string folder = folder_;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + Cp932ToUtf8(name) + ".desktop";
}

void XdgAutostart::Set(bool create, const std::string &name, const std::string &programPath,
                       const std::string &workingFolder)
{
    const std::string path = EntryPath(name);
    const std::string cp932Path = FromNativePath(path);
    if (!create) {
        DeleteFileIfExists(cp932Path);
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec)
        throw EInOutError(FormatMessage("フォルダー %s は作成できません (%s)", {folder_, ErrnoText(ec.value())}));
    ReplaceFileAtomically(cp932Path,
                          DesktopEntryText(Cp932ToUtf8(name), ToNativePath(programPath), ToNativePath(workingFolder)));
}

std::string AutostartFolder()
{
    return UserConfigFolder() + "/autostart";
}
