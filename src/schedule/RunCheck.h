#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The checks of the run command ("実　行"), without widgets: a group from the list that holds
// pictures, and an interval of at least ten seconds.

enum class RunRefusal { None, NoGroup, GroupNotListed, IntervalTooShort, GroupWithoutPictures };

// The three interval texts as the spin edits show them (CP932).
struct IntervalTexts {
    std::string hh, mm, ss;
};

struct RunCheck {
    RunRefusal refusal = RunRefusal::None;
    // Set once the group has passed: the texts and their interval in milliseconds, which the
    // timer takes even when it is refused as too short.
    std::optional<IntervalTexts> texts;
    int64_t interval = 0;
};

// `group`: the group text in CP932, nothing when CP932 cannot hold it (no group file can have
// that name). The group is compared byte for byte with `groupNames`. `readInterval` is asked for
// the texts only once the group has passed (the window brings the fields into range first).
// `hasPictures` (GroupHasPictures, or a stand-in) is asked last, once everything else has passed.
// Raises EConvertError when a text is not an integer.
RunCheck CheckRun(const std::optional<std::string> &group, const std::vector<std::string> &groupNames,
                  const std::function<IntervalTexts()> &readInterval,
                  const std::function<bool(const std::string &group)> &hasPictures);

// Whether the group file that UseSection `useSection` names holds a picture to show: it has a count
// and at least one entry that names a picture. A 0-byte file, or one the editor never wrote, has none.
// Raises EInOutError when the file exists but cannot be read.
bool GroupHasPictures(const std::string &useSection);

// The warning shown for a refusal (UTF-8).
const char *RunRefusalMessage(RunRefusal refusal);
