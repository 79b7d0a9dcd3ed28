#include "schedule/ShuffleOrder.h"

#include "ini/IniStore.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/HomeFolder.h"
#include "platform/IntConvert.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

// The round file, little-endian:
//   0  "TapRnd1\n"
//   8  the position: shown (u32), its check (u32), tied to the seal; rewritten in place at each change
//  16  the group file's stamp: device, inode, size (u64), modified, changed (i64, ns)
//  56  entries in the round (u32), length of the group's name (u32), largest entry number (u32), 0 (u32)
//  72  the seal: a check of bytes 16..71 and the name
//  80  the group's name (CP932)
//      the round: the entry numbers in the order they are shown (u32 each)
//      the table: the group's entry numbers ascending (u32 each), then their path hashes (u64 each)
//      a check of the round and the table (u64)
// The position is the only part ever written in place: the rest is written whole, through a temporary
// file renamed over the old one, so a change killed at any point leaves the old round or the new one.
// A position whose check does not match (a write torn by a crash) makes the file a damaged one.

struct ShuffleOrder::Body {
    std::vector<int32_t> items;   // the round
    std::vector<int32_t> numbers; // the group's entries, ascending
    std::vector<uint64_t> hashes; // their path hashes
};

namespace {

constexpr char kMagic[8] = {'T', 'a', 'p', 'R', 'n', 'd', '1', '\n'};
constexpr size_t kPositionOffset = 8;
constexpr size_t kFieldsOffset = 16;
constexpr size_t kSealOffset = 72;
constexpr size_t kNameOffset = 80;
constexpr uint32_t kMaxNameLength = 4096;
constexpr std::string_view kRoundFolder = "Tapisto.rounds";

void PutU32(std::string &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char(v >> (8 * i)));
}

void PutU64(std::string &out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(char(v >> (8 * i)));
}

uint32_t GetU32(const char *p)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(p[i]);
    return v;
}

uint64_t GetU64(const char *p)
{
    return uint64_t(GetU32(p)) | uint64_t(GetU32(p + 4)) << 32;
}

// A check of a run of bytes, eight at a time: a damaged or cut file is told from a whole one.
uint64_t Checksum(std::string_view bytes, uint64_t seed = 0)
{
    uint64_t h = seed ^ 0x6a09e667f3bcc909ULL ^ bytes.size();
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        h = (h ^ GetU64(bytes.data() + i)) * 0x9e3779b97f4a7c15ULL;
        h ^= h >> 29;
    }
    for (; i < bytes.size(); ++i)
        h = (h ^ uint8_t(bytes[i])) * 0x100000001b3ULL;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    return h ^ (h >> 33);
}

uint32_t PositionCheck(uint64_t seal, size_t shown)
{
    std::string bytes;
    PutU64(bytes, seal);
    PutU32(bytes, uint32_t(shown));
    return uint32_t(Checksum(bytes));
}

// A path is kept as a hash: a picture path may fill the engine's 255 bytes on its own, and the
// round only needs to tell paths apart. (Rounds of earlier versions hold the same hashes.)
uint64_t PathHash(std::string_view path)
{
    uint64_t hash = 0xcbf29ce484222325ULL; // 64-bit FNV-1a
    for (const char c : path) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string NativeOrEmpty(const std::string &cp932Path)
{
    try {
        return ToNativePath(cp932Path);
    } catch (const EEncodingError &) {
        return {};
    }
}

// --- the round of earlier versions: a section per group in Tapisto.shuffle.ini ---

// The value of a key as ReadString finds it: the first line whose key matches.
std::string FirstValue(const std::vector<std::string> &lines, std::string_view key)
{
    for (const std::string &line : lines) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && IniNamesEqual(std::string_view(line).substr(0, eq), key))
            return line.substr(eq + 1);
    }
    return {};
}

// "<entry number>,<16 hex digits>"; false for anything else.
bool ParseLegacyItem(std::string_view text, int32_t &number, uint64_t &hash)
{
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos || !TryStrToInt(text.substr(0, comma), number) || number < 0)
        return false;
    const std::string_view hex = text.substr(comma + 1);
    if (hex.size() != 16)
        return false;
    hash = 0;
    for (const char c : hex) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        hash = hash << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

// Removes a group's section from the file of earlier versions, and the file once no group is left in
// it. Housekeeping: a failure leaves the section, which is read no more.
void DropLegacySection(const std::string &group)
{
    try {
        TIniStoreEx ini(LegacyShuffleFilePath());
        bool othersLeft = false;
        for (int32_t i = 0; i < ini.Sections().Count(); ++i)
            othersLeft = othersLeft ||
                         (!ini.Sections().SectionEntries(i).Empty() && !IniNamesEqual(ini.Sections().Name(i), group));
        if (!othersLeft) {
            DeleteFileIfExists(LegacyShuffleFilePath());
            return;
        }
        ini.EraseSection(group);
        ini.Flush();
    } catch (const Exception &) {
    }
}

} // namespace

void ShuffleOrder::OpenFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

ShuffleOrder::ShuffleOrder(RandomPick pick) : pick_(std::move(pick)) {}
ShuffleOrder::~ShuffleOrder() = default;
ShuffleOrder::ShuffleOrder(ShuffleOrder &&) noexcept = default;
ShuffleOrder &ShuffleOrder::operator=(ShuffleOrder &&) noexcept = default;

void ShuffleOrder::Reset()
{
    file_.Close();
    group_.clear();
    writable_ = false;
    importedLegacy_ = false;
    hasRound_ = false;
    fitted_ = false;
    fittedStamp_ = {};
    count_ = 0;
    maxEntry_ = -1;
    seal_ = 0;
    bodyOffset_ = 0;
    shown_ = 0;
    lastShown_ = -1;
    lastShownKnown_ = true;
    rewrite_ = false;
    moved_ = false;
    body_.reset();
}

void ShuffleOrder::Load(const std::string &group)
{
    Reset();
    group_ = group;
    if (!LoadRoundFile(group) && !FileExists(RoundFilePath(group)))
        ImportLegacy(group);
}

bool ShuffleOrder::LoadRoundFile(const std::string &group)
{
    const std::string native = NativeOrEmpty(RoundFilePath(group));
    if (native.empty())
        return false;
    int fd = ::open(native.c_str(), O_RDWR | O_CLOEXEC);
    bool writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    OpenFile file(fd);
    struct stat st {};
    char head[kNameOffset];
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !ReadExactlyAt(fd, head, sizeof head, 0) ||
        std::memcmp(head, kMagic, sizeof kMagic) != 0)
        return false;
    const size_t shown = GetU32(head + kPositionOffset);
    const uint32_t positionCheck = GetU32(head + kPositionOffset + 4);
    const char *fields = head + kFieldsOffset;
    const FileStamp stamp{GetU64(fields), GetU64(fields + 8), GetU64(fields + 16), int64_t(GetU64(fields + 24)),
                          int64_t(GetU64(fields + 32))};
    const uint32_t count = GetU32(fields + 40);
    const uint32_t nameLength = GetU32(fields + 44);
    const uint32_t maxEntry = GetU32(fields + 48);
    if (nameLength != group.size() || nameLength > kMaxNameLength || count > uint32_t(INT32_MAX) ||
        maxEntry > uint32_t(INT32_MAX) || uint64_t(st.st_size) != kNameOffset + nameLength + 16 * uint64_t(count) + 8)
        return false;
    std::string sealed(head + kFieldsOffset, kSealOffset - kFieldsOffset);
    sealed.resize(sealed.size() + nameLength);
    if (!ReadExactlyAt(fd, sealed.data() + (kSealOffset - kFieldsOffset), nameLength, kNameOffset) ||
        std::string_view(sealed).substr(kSealOffset - kFieldsOffset) != group)
        return false;
    const uint64_t seal = Checksum(sealed);
    if (GetU64(head + kSealOffset) != seal || shown > count || positionCheck != PositionCheck(seal, shown))
        return false;

    file_ = std::move(file);
    writable_ = writable;
    hasRound_ = true;
    fittedStamp_ = stamp;
    count_ = count;
    maxEntry_ = int32_t(maxEntry);
    seal_ = seal;
    bodyOffset_ = kNameOffset + nameLength;
    shown_ = shown;
    lastShownKnown_ = shown == 0;
    return true;
}

bool ShuffleOrder::ImportLegacy(const std::string &group)
{
    const std::string legacy = LegacyShuffleFilePath();
    if (!FileExists(legacy))
        return false;
    std::vector<std::string> lines;
    try {
        TIniReader ini(legacy);
        ini.ForEachLine(group, [&](std::string_view line) {
            lines.emplace_back(line);
            return true;
        });
    } catch (const Exception &) {
        return false;
    }
    int32_t count = 0;
    int32_t shown = 0;
    // More entries than lines is a truncated round (and no reason to reserve room for them).
    if (!TryStrToInt(FirstValue(lines, "Count"), count) || count < 0 || static_cast<size_t>(count) > lines.size() ||
        !TryStrToInt(FirstValue(lines, "Shown"), shown) || shown < 0 || shown > count)
        return false;
    std::vector<std::string> values(static_cast<size_t>(count));
    std::vector<char> found(static_cast<size_t>(count), 0);
    for (const std::string &line : lines) {
        uint64_t n = 0;
        if (IniNumberedKey(line, "Entry", n) && n < uint64_t(count) && !found[n]) {
            found[n] = 1;
            values[n] = line.substr(line.find('=') + 1);
        }
    }
    auto body = std::make_unique<Body>();
    std::vector<std::pair<int32_t, uint64_t>> table;
    for (const std::string &value : values) {
        int32_t number = 0;
        uint64_t hash = 0;
        if (!ParseLegacyItem(value, number, hash))
            return false; // truncated or garbled: a fresh round
        body->items.push_back(number);
        table.emplace_back(number, hash);
    }
    std::sort(table.begin(), table.end());
    for (size_t i = 0; i < table.size(); ++i) {
        if (i > 0 && table[i].first == table[i - 1].first)
            return false;
        body->numbers.push_back(table[i].first);
        body->hashes.push_back(table[i].second);
    }
    body_ = std::move(body);
    hasRound_ = true;
    count_ = size_t(count);
    maxEntry_ = body_->numbers.empty() ? -1 : body_->numbers.back();
    shown_ = size_t(shown);
    lastShownKnown_ = shown == 0;
    importedLegacy_ = true;
    rewrite_ = true;
    return true;
}

bool ShuffleOrder::EnsureBody()
{
    if (body_)
        return true;
    if (!hasRound_ || file_.Fd() < 0)
        return false;
    const size_t bytes = 16 * count_ + 8;
    std::string data(bytes, '\0');
    if (!ReadExactlyAt(file_.Fd(), data.data(), bytes, bodyOffset_) ||
        GetU64(data.data() + bytes - 8) != Checksum(std::string_view(data).substr(0, bytes - 8))) {
        hasRound_ = false;
        return false;
    }
    auto body = std::make_unique<Body>();
    body->items.resize(count_);
    body->numbers.resize(count_);
    body->hashes.resize(count_);
    for (size_t i = 0; i < count_; ++i) {
        body->items[i] = int32_t(GetU32(data.data() + 4 * i));
        body->numbers[i] = int32_t(GetU32(data.data() + 4 * (count_ + i)));
        body->hashes[i] = GetU64(data.data() + 8 * count_ + 8 * i);
    }
    body_ = std::move(body);
    return true;
}

void ShuffleOrder::FitTo(const FileStamp &stamp, std::function<NumberedPaths()> paths)
{
    paths_ = std::move(paths);
    stamp_ = stamp;
    if (hasRound_ && stamp.Known() && fittedStamp_ == stamp) {
        fitted_ = true;
        return;
    }
    FitPaths(paths_(), stamp);
}

void ShuffleOrder::Fit(const std::vector<std::string> &paths)
{
    NumberedPaths numbered;
    numbered.reserve(paths.size());
    for (size_t k = 0; k < paths.size(); ++k)
        numbered.emplace_back(int32_t(k), paths[k]);
    paths_ = nullptr;
    stamp_ = {};
    FitPaths(numbered, {});
}

void ShuffleOrder::FitPaths(const NumberedPaths &paths, const FileStamp &stamp)
{
    std::vector<int32_t> numbers;
    std::vector<uint64_t> hashes;
    numbers.reserve(paths.size());
    hashes.reserve(paths.size());
    for (const auto &[number, path] : paths) {
        numbers.push_back(number);
        hashes.push_back(PathHash(path));
    }
    FitEntries(std::move(numbers), std::move(hashes), stamp);
}

void ShuffleOrder::FitEntries(std::vector<int32_t> numbers, std::vector<uint64_t> hashes, const FileStamp &stamp)
{
    if (hasRound_ && !EnsureBody())
        hasRound_ = false;
    if (!hasRound_) {
        body_.reset();
        shown_ = 0;
    }
    struct Item {
        int32_t number;
        uint64_t pathHash;
    };
    std::vector<Item> items;
    if (body_) {
        items.reserve(body_->items.size());
        for (const int32_t number : body_->items) {
            const auto at = std::lower_bound(body_->numbers.begin(), body_->numbers.end(), number);
            items.push_back({number, at != body_->numbers.end() && *at == number
                                         ? body_->hashes[size_t(at - body_->numbers.begin())]
                                         : 0});
        }
    }
    const size_t count = numbers.size();
    // The entry of the group at the round's entry number n, or count.
    auto slotOf = [&](int32_t n) {
        const auto at = std::lower_bound(numbers.begin(), numbers.end(), n);
        return at != numbers.end() && *at == n ? size_t(at - numbers.begin()) : count;
    };
    std::vector<char> claimed(count, 0);
    std::vector<size_t> resolved(items.size(), count);
    // Entries whose number still holds their path.
    for (size_t i = 0; i < items.size(); ++i) {
        const size_t slot = slotOf(items[i].number);
        if (slot < count && hashes[slot] == items[i].pathHash && !claimed[slot]) {
            resolved[i] = slot;
            claimed[slot] = 1;
        }
    }
    // Entries whose path moved to another number: the lowest free number holding the path.
    std::unordered_map<uint64_t, std::vector<size_t>> free;
    for (size_t slot = count; slot-- > 0;)
        if (!claimed[slot])
            free[hashes[slot]].push_back(slot);
    for (size_t i = 0; i < items.size(); ++i) {
        if (resolved[i] < count)
            continue;
        const auto found = free.find(items[i].pathHash);
        if (found == free.end() || found->second.empty())
            continue; // no longer in the group
        resolved[i] = found->second.back();
        found->second.pop_back();
        claimed[resolved[i]] = 1;
    }

    const int32_t last = shown_ > 0 && resolved[shown_ - 1] < count ? numbers[resolved[shown_ - 1]] : -1;
    std::vector<int32_t> kept;
    size_t keptShown = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (resolved[i] == count)
            continue;
        kept.push_back(numbers[resolved[i]]);
        if (i < shown_)
            ++keptShown;
    }
    // New entries join the rest of this round at random places: shuffled, then interleaved with
    // the waiting ones at random, which is as likely as inserting each at a random place but linear.
    std::vector<int32_t> fresh;
    for (size_t slot = 0; slot < count; ++slot)
        if (!claimed[slot])
            fresh.push_back(numbers[slot]);
    if (!fresh.empty()) {
        Shuffle(fresh);
        std::vector<int32_t> merged(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(keptShown));
        size_t waiting = keptShown;
        size_t added = 0;
        while (waiting < kept.size() || added < fresh.size()) {
            const auto waitingLeft = static_cast<int32_t>(kept.size() - waiting);
            const auto freshLeft = static_cast<int32_t>(fresh.size() - added);
            if (freshLeft > 0 && (waitingLeft == 0 || pick_(waitingLeft + freshLeft) < freshLeft))
                merged.push_back(fresh[added++]);
            else
                merged.push_back(kept[waiting++]);
        }
        kept = std::move(merged);
    }
    auto body = std::make_unique<Body>();
    body->items = std::move(kept);
    body->numbers = std::move(numbers);
    body->hashes = std::move(hashes);
    body_ = std::move(body);
    count_ = count;
    maxEntry_ = count > 0 ? body_->numbers.back() : -1;
    shown_ = keptShown;
    lastShown_ = last;
    lastShownKnown_ = true;
    hasRound_ = true;
    fitted_ = true;
    fittedStamp_ = stamp;
    rewrite_ = true;
}

void ShuffleOrder::Rebuild()
{
    hasRound_ = false;
    body_.reset();
    file_.Close();
    shown_ = 0;
    lastShown_ = -1;
    lastShownKnown_ = true;
    FitPaths(paths_ ? paths_() : NumberedPaths{}, stamp_);
}

bool ShuffleOrder::ItemAt(size_t i, int32_t &entry)
{
    if (body_) {
        entry = body_->items[i];
        return true;
    }
    char bytes[4];
    if (file_.Fd() < 0 || !ReadExactlyAt(file_.Fd(), bytes, sizeof bytes, bodyOffset_ + 4 * uint64_t(i)))
        return false;
    const uint32_t value = GetU32(bytes);
    if (value > uint32_t(maxEntry_))
        return false;
    entry = int32_t(value);
    return true;
}

int32_t ShuffleOrder::Take()
{
    if (!hasRound_)
        Rebuild();
    if (count_ > 0 && shown_ >= count_) {
        if (EnsureBody()) {
            if (!lastShownKnown_)
                lastShown_ = body_->items[shown_ - 1];
            NewRound(lastShown_);
        } else {
            Rebuild();
        }
    }
    if (count_ == 0)
        return 0;
    int32_t entry = 0;
    if (!ItemAt(shown_, entry)) {
        Rebuild();
        if (count_ == 0)
            return 0;
        entry = body_->items[shown_];
    }
    ++shown_;
    lastShown_ = entry;
    lastShownKnown_ = true;
    moved_ = true;
    return entry;
}

int32_t ShuffleOrder::Take(const std::vector<std::string> &paths)
{
    Fit(paths);
    return Take();
}

void ShuffleOrder::NewRound(int32_t avoid)
{
    std::vector<int32_t> items = body_->numbers;
    Shuffle(items);
    // Swapping the entry just shown with a random later one keeps every allowed order equally likely.
    if (items.size() > 1 && items[0] == avoid)
        std::swap(items[0], items[1 + static_cast<size_t>(pick_(static_cast<int32_t>(items.size() - 1)))]);
    body_->items = std::move(items);
    shown_ = 0;
    rewrite_ = true;
}

void ShuffleOrder::Shuffle(std::vector<int32_t> &items)
{
    for (size_t i = items.size(); i-- > 1;)
        std::swap(items[i], items[static_cast<size_t>(pick_(static_cast<int32_t>(i + 1)))]);
}

std::vector<int32_t> ShuffleOrder::Round()
{
    if (!EnsureBody())
        return {};
    return body_->items;
}

void ShuffleOrder::Store(const std::string &group)
{
    if (!hasRound_)
        return;
    if (!rewrite_ && group == group_ && file_.Fd() >= 0 && writable_) {
        if (moved_)
            WritePosition();
        moved_ = false;
        return;
    }
    if (!EnsureBody())
        Rebuild();
    WriteWhole(group);
}

void ShuffleOrder::WritePosition()
{
    std::string bytes;
    PutU32(bytes, uint32_t(shown_));
    PutU32(bytes, PositionCheck(seal_, shown_));
    int err = 0;
    if (::pwrite(file_.Fd(), bytes.data(), bytes.size(), off_t(kPositionOffset)) != ssize_t(bytes.size()))
        err = errno == 0 ? EIO : errno;
    else if (::fdatasync(file_.Fd()) != 0)
        err = errno;
    if (err != 0)
        throw EInOutError(FormatMessage("ファイル %s に書き込めません: %s",
                                        {Cp932ToUtf8Lossy(RoundFilePath(group_)), ErrnoText(err)}));
}

void ShuffleOrder::WriteWhole(const std::string &group)
{
    const Body &body = *body_;
    std::string sealed;
    PutU64(sealed, fittedStamp_.device);
    PutU64(sealed, fittedStamp_.inode);
    PutU64(sealed, fittedStamp_.size);
    PutU64(sealed, uint64_t(fittedStamp_.modifiedNs));
    PutU64(sealed, uint64_t(fittedStamp_.changedNs));
    PutU32(sealed, uint32_t(count_));
    PutU32(sealed, uint32_t(group.size()));
    PutU32(sealed, uint32_t(maxEntry_));
    PutU32(sealed, 0);
    sealed.append(group);
    const uint64_t seal = Checksum(sealed);

    std::string image(kMagic, sizeof kMagic);
    image.reserve(kNameOffset + group.size() + 16 * count_ + 8);
    PutU32(image, uint32_t(shown_));
    PutU32(image, PositionCheck(seal, shown_));
    image.append(sealed, 0, kSealOffset - kFieldsOffset);
    PutU64(image, seal);
    image.append(group);
    const size_t bodyOffset = image.size();
    for (const int32_t entry : body.items)
        PutU32(image, uint32_t(entry));
    for (const int32_t number : body.numbers)
        PutU32(image, uint32_t(number));
    for (const uint64_t hash : body.hashes)
        PutU64(image, hash);
    PutU64(image, Checksum(std::string_view(image).substr(bodyOffset)));

    const std::string path = RoundFilePath(group);
    // The folder is made on first use; when it cannot be, the writer's error names the file.
    if (const std::string folder = NativeOrEmpty(HomeFolder() + std::string(kRoundFolder)); !folder.empty())
        ::mkdir(folder.c_str(), 0777);
    AtomicFileWriter writer(path);
    writer.Write(image);
    writer.Commit();

    // Later takes of this object go on in the file just written.
    const std::string native = NativeOrEmpty(path);
    file_ = OpenFile(native.empty() ? -1 : ::open(native.c_str(), O_RDWR | O_CLOEXEC));
    writable_ = file_.Fd() >= 0;
    group_ = group;
    seal_ = seal;
    bodyOffset_ = bodyOffset;
    rewrite_ = false;
    moved_ = false;
    if (importedLegacy_) {
        DropLegacySection(group);
        importedLegacy_ = false;
    }
}

std::string RoundFilePath(const std::string &group)
{
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(PathHash(group)));
    return HomeFolder() + std::string(kRoundFolder) + "/" + name;
}

std::string LegacyShuffleFilePath()
{
    return HomeFolder() + "Tapisto.shuffle.ini";
}
