#pragma once

#include "ini/IniReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Random order without repeats for one group: a shuffled round of the group's entries that the
// changes walk; when it is used up a new round is drawn whose first entry is not the one that
// ended the last. Each group's round lives in a file of its own in Tapisto.rounds in the home folder
// (RoundFilePath) and survives restarts.
//
// An entry is known by its number and a hash of its picture path, so that the round notices what
// the list editor did between two changes: an entry whose number still holds its path stays; one
// whose path moved to another number (entries removed or inserted before it) follows its path; a
// path no longer in the group is dropped; entries not in the round are new and join the part of
// the round not shown yet at random places. The round is thus never restarted by an edit, and an
// entry shown in this round is not shown again in it.
//
// The round remembers the stamp of the group file it was fitted to: while the group file is the same,
// a change reads nothing of the group but the entry it shows, and of the round file its header and
// one entry number, and writes only the position, in place. The whole round file is written (replaced
// atomically) once per round and after the group was edited. A round file that is missing, cut short
// or garbled, or that belongs to another group, reads as no round, which makes every entry new: a
// fresh round.
class ShuffleOrder {
public:
    // The random choice: uniform among 0..count-1 (count > 0).
    using RandomPick = std::function<int32_t(int32_t count)>;
    // The entries of a group with their picture paths, ascending by number.
    using NumberedPaths = std::vector<std::pair<int32_t, std::string>>;

    explicit ShuffleOrder(RandomPick pick);
    ~ShuffleOrder();
    ShuffleOrder(ShuffleOrder &&) noexcept;
    ShuffleOrder &operator=(ShuffleOrder &&) noexcept;

    // Reads the stored round of a group. Never raises: a file that cannot be read or a round it cannot
    // make sense of leaves no round, so the changes go on with a fresh one.
    void Load(const std::string &group);
    // Fits the round to the group whose file has `stamp`: `paths` is asked for the group's pictures
    // only when the round was fitted to another version of the file (or to none) or turns out damaged.
    void FitTo(const FileStamp &stamp, std::function<NumberedPaths()> paths);
    // Fits the round to these pictures of entries 0..n-1, whatever it was fitted to before.
    void Fit(const std::vector<std::string> &paths);
    // How many entries the round holds (after fitting).
    size_t EntryCount() const { return count_; }
    // The entry to show next, counted shown; a used-up round is followed by a new one. 0 for a group
    // without entries.
    int32_t Take();
    // Fit(paths), then Take().
    int32_t Take(const std::vector<std::string> &paths);
    // Keeps what the takes changed as the group's round: the position alone, in place, while the round
    // is the one loaded from the group's file; otherwise the whole round, replacing the file
    // atomically. Raises EInOutError when it cannot be written.
    void Store(const std::string &group);

    // The round's entry numbers in order, and how many of them have been shown.
    std::vector<int32_t> Round();
    size_t ShownCount() const { return shown_; }

private:
    // An open file descriptor, closed with its owner.
    class OpenFile {
    public:
        OpenFile() = default;
        explicit OpenFile(int fd) : fd_(fd) {}
        ~OpenFile() { Close(); }
        OpenFile(OpenFile &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
        OpenFile &operator=(OpenFile &&other) noexcept
        {
            if (this != &other) {
                Close();
                fd_ = std::exchange(other.fd_, -1);
            }
            return *this;
        }
        int Fd() const { return fd_; }
        void Close();

    private:
        int fd_ = -1;
    };
    struct Body; // the round's entries and the group's entry table, when read or made
    void Reset();
    bool LoadRoundFile(const std::string &group);
    bool ImportLegacy(const std::string &group);
    // Reads the round's entries and the table from the file; false when they are damaged.
    bool EnsureBody();
    // Fits to the group's entries (`numbers` ascending with their path hashes) under `stamp`.
    void FitEntries(std::vector<int32_t> numbers, std::vector<uint64_t> hashes, const FileStamp &stamp);
    void FitPaths(const NumberedPaths &paths, const FileStamp &stamp);
    // The round as it is cannot be read on: a fresh one from the group's pictures.
    void Rebuild();
    void NewRound(int32_t avoid);
    bool ItemAt(size_t i, int32_t &entry);
    void Shuffle(std::vector<int32_t> &items); // Fisher-Yates with pick_
    void WriteWhole(const std::string &group);
    void WritePosition();

    RandomPick pick_;
    std::function<NumberedPaths()> paths_;
    FileStamp stamp_; // of the group file the change reads

    std::string group_;     // whose round file is open
    OpenFile file_;         // the round file, while the round is the one in it
    bool writable_ = false; // fd_ was opened for writing
    bool importedLegacy_ = false;

    bool hasRound_ = false; // a round was loaded or made
    bool fitted_ = false;   // FitTo or Fit ran
    FileStamp fittedStamp_; // the group file the round was fitted to
    size_t count_ = 0;      // entries in the round
    int32_t maxEntry_ = -1; // the largest entry number in it
    uint64_t seal_ = 0;     // the round file's header check, which the stored position is tied to
    size_t bodyOffset_ = 0; // where the round's entries start in the file
    size_t shown_ = 0;
    int32_t lastShown_ = -1; // the entry shown last (-1: none, or no longer in the group)
    bool lastShownKnown_ = true;
    bool rewrite_ = false; // the whole round file must be written
    bool moved_ = false;   // the position changed since it was stored
    std::unique_ptr<Body> body_;
};

// The file that keeps a group's round: Tapisto.rounds/ and a hash of the group's name, in the home
// folder (CP932).
std::string RoundFilePath(const std::string &group);
// HomeFolder() + "Tapisto.shuffle.ini": where earlier versions kept every group's round, read once
// per group when its own file is not there yet.
std::string LegacyShuffleFilePath();
