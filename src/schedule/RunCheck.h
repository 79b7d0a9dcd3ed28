#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The checks of the run command ("実　行"), without widgets: a group from the list and an interval
// of at least ten seconds.

enum class RunRefusal { None, NoGroup, GroupNotListed, IntervalTooShort };

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
// Raises EConvertError when a text is not an integer.
RunCheck CheckRun(const std::optional<std::string> &group, const std::vector<std::string> &groupNames,
                  const std::function<IntervalTexts()> &readInterval);

// The warning shown for a refusal (UTF-8).
const char *RunRefusalMessage(RunRefusal refusal);
