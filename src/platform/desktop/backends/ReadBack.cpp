#include "platform/desktop/backends/ReadBack.h"

#include "platform/Exceptions.h"

#include <sstream>

void ThrowNotShown(const std::string &desktop, const std::string &shown, const std::string &hint)
{
    const std::string what = shown.empty() ? std::string("何も示していません") : "「" + shown + "」を示しています";
    throw Exception(FormatMessage("壁紙を設定できません: %s は設定のあとも%s。%s", {desktop, what, hint}));
}

std::string SpannedReadBack(const MonitorLayout &layout, const std::string &shown)
{
    return FormatMonitorLayout(layout) + ": " + shown;
}

std::string PollReadBack(CommandRunner &runner, const std::function<std::string()> &read,
                         const std::function<bool(const std::string &)> &matches, int attempts, int pauseMs)
{
    std::string shown = read();
    for (int i = 1; i < attempts && !matches(shown); ++i) {
        runner.Pause(pauseMs);
        shown = read();
    }
    return shown;
}

namespace {

void AppendUtf8(std::string &out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

std::optional<std::string> ParseGVariantString(const std::string &printed)
{
    std::string text = printed;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.size() < 2 || (text[0] != '\'' && text[0] != '"') || text.back() != text[0])
        return std::nullopt;
    std::string out;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        ++i; // the escaped character; the closing quote cannot be one
        if (i >= text.size() - 1)
            return std::nullopt;
        const char c = text[i];
        if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'u' && i + 4 < text.size() - 1) {
            const std::string hex = text.substr(i + 1, 4);
            if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return std::nullopt;
            AppendUtf8(out, static_cast<unsigned>(std::stoul(hex, nullptr, 16)));
            i += 4;
        } else
            out += c;
    }
    return out;
}

std::optional<std::string> IniValue(const std::string &text, const std::string &section, const std::string &key)
{
    std::istringstream in(text);
    std::string current;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with("[") && line.ends_with("]"))
            current = line.substr(1, line.size() - 2);
        else if (current == section && line.starts_with(key + "="))
            return line.substr(key.size() + 1);
    }
    return std::nullopt;
}

std::string WithIniValue(const std::string &text, const std::string &section, const std::string &key,
                         const std::string &value)
{
    std::istringstream in(text);
    std::string out;
    std::string current;
    bool done = false;
    bool inSection = false;
    const auto addHere = [&] {
        if (inSection && !done) {
            // Before the blank lines that end the section.
            size_t end = out.size();
            while (end >= 2 && out[end - 1] == '\n' && out[end - 2] == '\n')
                --end;
            out.insert(end, key + "=" + value + "\n");
            done = true;
        }
    };
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("[") && line.ends_with("]")) {
            addHere();
            current = line.substr(1, line.size() - 2);
            inSection = current == section;
        } else if (inSection && !done && line.starts_with(key + "=")) {
            line = key + "=" + value;
            done = true;
        }
        out += line + "\n";
    }
    addHere();
    if (!done) {
        if (!out.empty() && !out.ends_with("\n\n"))
            out += "\n";
        out += "[" + section + "]\n" + key + "=" + value + "\n";
    }
    return out;
}
