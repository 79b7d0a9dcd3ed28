#include "ini/IniStore.h"

#include "ini/TextLines.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/IntConvert.h"

#include <algorithm>
#include <cstring>

namespace {

// One character of a name folded to lower case: a byte, or a double-byte character as
// (lead << 8 | trail). Full-width Latin, Greek and Cyrillic capitals map to their small letters.
inline unsigned FoldChar(std::string_view s, size_t i, size_t &length)
{
    const auto b = static_cast<unsigned char>(s[i]);
    if (IsCp932LeadByte(b) && i + 1 < s.size()) {
        length = 2;
        unsigned c = (static_cast<unsigned>(b) << 8) | static_cast<unsigned char>(s[i + 1]);
        if (c >= 0x8260 && c <= 0x8279) // Ａ-Ｚ -> ａ-ｚ
            return c + 0x21;
        if (c >= 0x839F && c <= 0x83B6) // Α-Ω -> α-ω
            return c + 0x20;
        if (c >= 0x8440 && c <= 0x8460) { // А-Я -> а-я; the small letters skip the trail byte 0x7F
            unsigned k = c - 0x8440;
            return k < 15 ? 0x8470 + k : 0x8480 + (k - 15);
        }
        return c;
    }
    length = 1;
    return b >= 'A' && b <= 'Z' ? b + 0x20u : b;
}

inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The key of an entry line: the text before its first '=', or nothing when it has none.
inline bool SplitKey(std::string_view line, std::string_view &key)
{
    const void *eq = std::memchr(line.data(), '=', line.size());
    if (eq == nullptr)
        return false;
    key = line.substr(0, static_cast<size_t>(static_cast<const char *>(eq) - line.data()));
    return true;
}

} // namespace

bool IniNamesEqual(std::string_view a, std::string_view b)
{
    // Folding keeps every character's length, so names of different lengths never match.
    if (a.size() != b.size())
        return false;
    if (std::memcmp(a.data(), b.data(), a.size()) == 0)
        return true;
    size_t i = 0;
    while (i < a.size()) {
        size_t la = 1, lb = 1;
        if (FoldChar(a, i, la) != FoldChar(b, i, lb) || la != lb)
            return false;
        i += la;
    }
    return true;
}

std::string IniFoldName(std::string_view name)
{
    std::string folded;
    folded.reserve(name.size());
    size_t i = 0;
    while (i < name.size()) {
        size_t length = 1;
        unsigned c = FoldChar(name, i, length);
        if (length == 2)
            folded.push_back(static_cast<char>(c >> 8));
        folded.push_back(static_cast<char>(c & 0xFF));
        i += length;
    }
    return folded;
}

bool IniNumberedKey(std::string_view line, std::string_view key, uint64_t &n)
{
    std::string_view lineKey;
    // More than ten digits cannot be a 32-bit entry number.
    if (!SplitKey(line, lineKey) || lineKey.size() <= key.size() || lineKey.size() - key.size() > 10)
        return false;
    const std::string_view digits = lineKey.substr(key.size());
    if (!IniNamesEqual(lineKey.substr(0, key.size()), key) || (digits.size() > 1 && digits[0] == '0'))
        return false;
    uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    n = value;
    return true;
}

// --- TEntryList ---

void TEntryList::Add(std::string_view line)
{
    spans_.push_back({text_.size(), static_cast<uint32_t>(line.size())});
    text_.append(line);
}

void TEntryList::Replace(size_t i, std::string_view line)
{
    Span &span = spans_[i];
    if (line.size() <= span.length) {
        std::memcpy(text_.data() + span.offset, line.data(), line.size());
    } else {
        span.offset = text_.size();
        text_.append(line);
    }
    span.length = static_cast<uint32_t>(line.size());
}

void TEntryList::Delete(size_t i)
{
    spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(i));
}

void TEntryList::Clear()
{
    spans_.clear();
    text_.clear();
}

std::vector<std::string> TEntryList::ToVector() const
{
    std::vector<std::string> lines;
    lines.reserve(spans_.size());
    for (size_t i = 0; i < spans_.size(); ++i)
        lines.emplace_back((*this)[i]);
    return lines;
}

// --- TSectionList ---

int32_t TSectionList::IndexOf(std::string_view name)
{
    const int32_t count = Count();
    const int32_t start = LastFoundIndex >= 0 && LastFoundIndex < count ? LastFoundIndex : 0;
    for (int32_t i = start; i < count; ++i) {
        if (IniNamesEqual(Name(i), name)) {
            LastFoundIndex = i;
            return i;
        }
    }
    for (int32_t i = 0; i < start; ++i) {
        if (IniNamesEqual(Name(i), name)) {
            LastFoundIndex = i;
            return i;
        }
    }
    return -1;
}

int32_t TSectionList::Add(std::string_view name)
{
    items_.push_back({std::string(name), {}});
    return Count() - 1;
}

void TSectionList::Delete(int32_t i)
{
    items_.erase(items_.begin() + i);
    LastFoundIndex = 0;
}

void TSectionList::Clear()
{
    items_.clear();
    LastFoundIndex = 0;
}

void TSectionList::DropDuplicateSections(const TDuplicateSectionHandler &handler)
{
    const int32_t count = Count();
    if (count < 2)
        return;
    // One sort puts equal names next to each other; a pair is then found by comparing neighbours.
    struct Tagged {
        std::string folded;
        int32_t position;
    };
    std::vector<Tagged> sorted;
    sorted.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        sorted.push_back({IniFoldName(Name(i)), i});
    std::sort(sorted.begin(), sorted.end(), [](const Tagged &a, const Tagged &b) {
        return a.folded != b.folded ? a.folded < b.folded : a.position < b.position;
    });

    std::vector<bool> drop(static_cast<size_t>(count), false);
    bool anyDropped = false;
    size_t survivor = 0;
    for (size_t k = 1; k < sorted.size(); ++k) {
        if (sorted[k].folded != sorted[survivor].folded) {
            survivor = k;
            continue;
        }
        int32_t stay = std::min(sorted[survivor].position, sorted[k].position);
        int32_t go = std::max(sorted[survivor].position, sorted[k].position);
        if (handler && !handler(Name(stay), SectionEntries(stay), SectionEntries(go)))
            std::swap(stay, go);
        SectionEntries(go).Clear();
        drop[static_cast<size_t>(go)] = true;
        anyDropped = true;
        if (sorted[survivor].position != stay)
            survivor = k;
    }
    if (!anyDropped)
        return;
    std::vector<Item> kept;
    kept.reserve(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
        if (!drop[i])
            kept.push_back(std::move(items_[i]));
    }
    items_ = std::move(kept);
    LastFoundIndex = 0;
}

// --- TIniStore ---

TIniStore::TIniStore(std::string_view path)
{
    Open(path);
}

TIniStore::~TIniStore()
{
    // A destructor cannot raise; writers learn of failures from their own Flush call.
    try {
        Flush();
    } catch (...) {
    }
}

void TIniStore::Open(std::string_view path)
{
    Flush();
    sections_.Clear();
    currentSection_ = 0;
    fileName_ = std::string(path);
    if (!fileName_.empty())
        LoadFile(fileName_);
    modified_ = false;
}

void TIniStore::LoadFile(std::string_view path)
{
    currentSection_ = 0;
    if (!FileExists(path))
        return;
    const std::string data = ReadWholeFile(path);
    ParseLines(data);
    sections_.DropDuplicateSections(OnDuplicateSection);
}

void TIniStore::ParseLines(std::string_view data)
{
    const bool rewrite = SqueezeBlanksAroundEquals || UnquoteValues || TrimLineEnds;
    std::string scratch;
    TEntryList *receiving = nullptr;
    TextLines lines(data);
    std::string_view line;
    while (lines.Next(line)) {
        line = line.substr(0, kIniMaxText);
        if (DropSemicolonLines && !line.empty() && line[0] == ';')
            continue;
        if (line.empty())
            continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            int32_t index = sections_.Add(line.substr(1, line.size() - 2));
            receiving = &sections_.SectionEntries(index);
            continue;
        }
        if (rewrite) {
            scratch.assign(line);
            if (SqueezeBlanksAroundEquals) {
                size_t eq = scratch.find('=');
                while (eq != std::string::npos && eq >= 1 && IsBlank(scratch[eq - 1])) {
                    scratch.erase(eq - 1, 1);
                    --eq;
                }
                if (eq != std::string::npos && eq != 0) {
                    while (eq + 1 < scratch.size() && IsBlank(scratch[eq + 1]))
                        scratch.erase(eq + 1, 1);
                }
            }
            if (UnquoteValues) {
                size_t eq = scratch.find('=');
                if (eq != std::string::npos && eq >= 1 && scratch.size() > eq + 2) {
                    char quote = scratch[eq + 1];
                    if ((quote == '"' || quote == '\'') && scratch.back() == quote) {
                        scratch.pop_back();
                        scratch.erase(eq + 1, 1);
                    }
                }
            }
            if (TrimLineEnds) {
                while (!scratch.empty() && static_cast<unsigned char>(scratch.back()) < 0x21)
                    scratch.pop_back();
            }
            line = scratch;
        }
        if (DropLinesWithoutEquals && line.find('=') == std::string_view::npos)
            continue;
        if (receiving != nullptr)
            receiving->Add(line);
    }
}

TIniStore::FoundEntry TIniStore::FindEntry(std::string_view section, std::string_view key, bool create)
{
    section = CutBytes(section, kIniMaxText);
    FoundEntry found;
    const int32_t count = sections_.Count();
    bool sectionFound = false;
    if (count > 0) {
        if (currentSection_ < 0 || currentSection_ >= count)
            currentSection_ = 0;
        // Start at the section used last, so a run of accesses to one section finds it at once.
        const int32_t last = currentSection_ == 0 ? count - 1 : currentSection_ - 1;
        while (!IniNamesEqual(sections_.Name(currentSection_), section) && currentSection_ != last)
            currentSection_ = currentSection_ + 1 == count ? 0 : currentSection_ + 1;
        sectionFound = IniNamesEqual(sections_.Name(currentSection_), section);
    }
    if (!sectionFound) {
        if (create) {
            currentSection_ = sections_.Add(section);
            found.entries = &sections_.SectionEntries(currentSection_);
        }
        return found;
    }
    found.entries = &sections_.SectionEntries(currentSection_);
    const TEntryList &entries = *found.entries;
    for (size_t i = 0; i < entries.Count(); ++i) {
        std::string_view lineKey;
        if (SplitKey(entries[i], lineKey) && IniNamesEqual(lineKey, key)) {
            found.index = static_cast<int32_t>(i);
            break;
        }
    }
    return found;
}

std::string TIniStore::ReadString(std::string_view section, std::string_view key, std::string_view def)
{
    FoundEntry found = FindEntry(section, key, false);
    if (found.entries == nullptr || found.index < 0)
        return std::string(def);
    std::string_view line = (*found.entries)[static_cast<size_t>(found.index)];
    return std::string(CutBytes(line.substr(line.find('=') + 1), kIniMaxText));
}

void TIniStore::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    if (key.empty()) {
        if (section.empty() && value.empty())
            Flush();
        else
            EraseSection(section);
        return;
    }
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).push_back('=');
    line.append(value);
    if (line.size() > kIniMaxText)
        line.resize(kIniMaxText);

    FoundEntry found = FindEntry(section, key, true);
    if (found.index < 0) {
        found.entries->Add(line);
        modified_ = true;
    } else if ((*found.entries)[static_cast<size_t>(found.index)] != line) {
        // Replaced in place, so the key takes the caller's letter case.
        found.entries->Replace(static_cast<size_t>(found.index), line);
        modified_ = true;
    }
}

int32_t TIniStore::ReadInteger(std::string_view section, std::string_view key, int32_t def)
{
    std::string text = ReadString(section, key, {});
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    int32_t value = 0;
    return TryStrToInt(text, value) ? value : def;
}

void TIniStore::WriteInteger(std::string_view section, std::string_view key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

bool TIniStore::ReadBool(std::string_view section, std::string_view key, bool def)
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniStore::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TIniStore::ReadSectionKeys(std::string_view section, std::vector<std::string> &target)
{
    int32_t i = sections_.IndexOf(CutBytes(section, kIniMaxText));
    if (i < 0)
        return;
    const TEntryList &entries = sections_.SectionEntries(i);
    for (size_t k = 0; k < entries.Count(); ++k) {
        std::string_view key;
        target.emplace_back(SplitKey(entries[k], key) ? key : std::string_view());
    }
}

void TIniStore::ReadSectionNames(std::vector<std::string> &target)
{
    target.clear();
    for (int32_t i = 0; i < sections_.Count(); ++i)
        target.push_back(sections_.Name(i));
}

void TIniStore::ReadSectionLines(std::string_view section, std::vector<std::string> &target)
{
    int32_t i = sections_.IndexOf(CutBytes(section, kIniMaxText));
    if (i < 0)
        return;
    const TEntryList &entries = sections_.SectionEntries(i);
    for (size_t k = 0; k < entries.Count(); ++k)
        target.emplace_back(entries[k]);
}

void TIniStore::EraseSection(std::string_view section)
{
    int32_t i = sections_.IndexOf(CutBytes(section, kIniMaxText));
    if (i < 0)
        return;
    sections_.Delete(i);
    modified_ = true;
    if (currentSection_ >= sections_.Count())
        currentSection_ = 0;
}

void TIniStore::DeleteKey(std::string_view section, std::string_view key)
{
    // A missing section is created empty; it is never written.
    FoundEntry found = FindEntry(section, key, true);
    if (found.index < 0)
        return;
    modified_ = true;
    found.entries->Delete(static_cast<size_t>(found.index));
}

void TIniStore::ReadAllLines(std::vector<std::string> &target)
{
    for (int32_t i = 0; i < sections_.Count(); ++i) {
        const TEntryList &entries = sections_.SectionEntries(i);
        if (entries.Empty())
            continue;
        target.push_back("[" + sections_.Name(i) + "]");
        for (size_t k = 0; k < entries.Count(); ++k)
            target.emplace_back(entries[k]);
        target.emplace_back();
    }
}

void TIniStore::Flush()
{
    if (!modified_)
        return;
    if (fileName_.empty()) {
        modified_ = false;
        return;
    }
    std::string image;
    for (int32_t i = 0; i < sections_.Count(); ++i) {
        const TEntryList &entries = sections_.SectionEntries(i);
        if (entries.Empty())
            continue;
        image.append("[").append(sections_.Name(i)).append("]\r\n");
        for (size_t k = 0; k < entries.Count(); ++k)
            image.append(entries[k]).append("\r\n");
        image.append("\r\n");
    }
    // Raises before Modified is cleared, so a failed write can be retried.
    ReplaceFileAtomically(fileName_, image);
    modified_ = false;
}
