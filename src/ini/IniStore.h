#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The in-memory INI file engine. A store holds one whole file: an ordered list of sections, each
// with its ordered entry lines kept verbatim. Reads and writes work on memory; Flush writes the
// whole file back (atomically) when something changed. All text is CP932 bytes, never converted.

// Longest name, key, value or line the engine keeps; longer text is cut without notice.
constexpr size_t kIniMaxText = 255;

// True when two section names or keys are equal: the case of ASCII letters and of the
// double-byte (full-width) Latin, Greek and Cyrillic letters is ignored; nothing is trimmed.
bool IniNamesEqual(std::string_view a, std::string_view b);
// The form of a name that IniNamesEqual compares: letters folded to lower case.
std::string IniFoldName(std::string_view name);
// Whether the entry line's key is `key` followed by a number n, in decimal without sign or leading
// zero, `key` matched as IniNamesEqual matches (so the line is the one ReadString finds for
// key + std::to_string(n), when no line before it has that key); n is set then.
bool IniNumberedKey(std::string_view line, std::string_view key, uint64_t &n);

// The entry lines of one section. The lines of a section share one buffer, so loading a large
// file costs no allocation per line.
class TEntryList {
public:
    size_t Count() const { return spans_.size(); }
    bool Empty() const { return spans_.empty(); }
    std::string_view operator[](size_t i) const { return {text_.data() + spans_[i].offset, spans_[i].length}; }
    void Add(std::string_view line);
    void Replace(size_t i, std::string_view line);
    void Delete(size_t i);
    void Clear();
    std::vector<std::string> ToVector() const;

private:
    struct Span {
        size_t offset;
        uint32_t length;
    };
    std::string text_;
    std::vector<Span> spans_;
};

// Decides which of two sections of the same name stays: called with the name, the section
// proposed to stay and the one proposed to go; false swaps the two.
using TDuplicateSectionHandler =
    std::function<bool(const std::string &name, const TEntryList &proposedSurvivor, const TEntryList &proposedLoser)>;

// The sections of a store in file order, unsorted. IndexOf starts where the last search succeeded.
class TSectionList {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    const std::string &Name(int32_t i) const { return items_[static_cast<size_t>(i)].name; }
    TEntryList &SectionEntries(int32_t i) { return items_[static_cast<size_t>(i)].entries; }
    const TEntryList &SectionEntries(int32_t i) const { return items_[static_cast<size_t>(i)].entries; }

    // Index of the section of that name, or -1. Searches cyclically from LastFoundIndex.
    int32_t IndexOf(std::string_view name);
    // Appends a section with no entries; returns its index.
    int32_t Add(std::string_view name);
    void Delete(int32_t i);
    void Clear();
    // Keeps one section of each name (the first in file order unless the handler says otherwise).
    void DropDuplicateSections(const TDuplicateSectionHandler &handler);

    int32_t LastFoundIndex = 0;

private:
    struct Item {
        std::string name;
        TEntryList entries;
    };
    std::vector<Item> items_;
};

class TIniStore {
public:
    // Loads the file at path (CP932; a missing file gives an empty store). Raises EInOutError when
    // the file exists but cannot be read.
    explicit TIniStore(std::string_view path);
    // Flushes, but cannot report a failure from here: callers that write call Flush() themselves.
    virtual ~TIniStore();
    TIniStore(const TIniStore &) = delete;
    TIniStore &operator=(const TIniStore &) = delete;

    // Flushes the current file, then loads the one at path ("" gives an empty store without file).
    void Open(std::string_view path);

    // The value of the first matching entry (at most 255 bytes), or def when there is none.
    virtual std::string ReadString(std::string_view section, std::string_view key, std::string_view def);
    // Adds or replaces "key=value" (cut to 255 bytes). An empty key erases the section, or
    // flushes when section and value are empty as well.
    virtual void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // The value as an integer ("0x" or "$" for hexadecimal), or def when it is not one.
    virtual int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def);
    virtual void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    virtual bool ReadBool(std::string_view section, std::string_view key, bool def);
    virtual void WriteBool(std::string_view section, std::string_view key, bool value);
    // Appends the key of every entry of the section ("" for a line without '='); a missing
    // section leaves target untouched.
    virtual void ReadSectionKeys(std::string_view section, std::vector<std::string> &target);
    // Replaces target's contents by all section names in store order.
    virtual void ReadSectionNames(std::vector<std::string> &target);
    // Appends every entry line of the section verbatim.
    virtual void ReadSectionLines(std::string_view section, std::vector<std::string> &target);
    virtual void EraseSection(std::string_view section);
    virtual void DeleteKey(std::string_view section, std::string_view key);
    // Appends the lines Flush would write (without line ends).
    virtual void ReadAllLines(std::vector<std::string> &target);
    // Writes the file when modified. Raises EInOutError on failure; the old file stays whole and
    // the store stays modified.
    virtual void Flush();
    // Parses the file into the store (called by Open).
    virtual void LoadFile(std::string_view path);

    const std::string &FileName() const { return fileName_; }
    bool Modified() const { return modified_; }
    TSectionList &Sections() { return sections_; }
    int32_t CurrentSection() const { return currentSection_; }

    // Consulted when a load drops sections of a repeated name; unset by default.
    TDuplicateSectionHandler OnDuplicateSection;
    // Kept for compatibility; the file is always read and written whole, so it changes no result.
    int32_t BufferSize = 0x7000;
    // Optional line rewriting at load; all off by default and never set by the program.
    bool DropSemicolonLines = false;
    bool DropLinesWithoutEquals = false;
    bool SqueezeBlanksAroundEquals = false;
    bool UnquoteValues = false;
    bool TrimLineEnds = false;

protected:
    // The entry list and the index of the first entry whose key matches (or -1); the list is null
    // when the section is missing and create is false.
    struct FoundEntry {
        TEntryList *entries = nullptr;
        int32_t index = -1;
    };
    FoundEntry FindEntry(std::string_view section, std::string_view key, bool create);

private:
    void ParseLines(std::string_view data);

    std::string fileName_;
    bool modified_ = false;
    TSectionList sections_;
    int32_t currentSection_ = 0;
};

// The engine the program's callers create, one per group of reads or writes.
class TIniStoreEx : public TIniStore {
public:
    using TIniStore::TIniStore;
};
