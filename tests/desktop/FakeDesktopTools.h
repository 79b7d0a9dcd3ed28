#pragma once

#include "platform/desktop/CommandRunner.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

using Argv = std::vector<std::string>;

// Records every command. `respond` answers first; when it gives exit 0 and no output (or is not set),
// gsettings and xfconf-query behave as a settings store that remembers what was set and answers reads.
class FakeRunner : public CommandRunner {
public:
    CommandResult Run(const Argv &argv) override;
    void Pause(int) override { ++pauses; }
    // The commands that change something (reads of gsettings and xfconf-query left out).
    std::vector<Argv> Changes() const;

    std::vector<Argv> calls;
    std::function<CommandResult(const Argv &)> respond;
    std::map<std::string, std::string> store; // "schema key" or "channel property" -> value as printed
    int pauses = 0;
};

// A process folder in the layout of /proc with the given processes, owned by the test's user.
class FakeProc {
public:
    explicit FakeProc(std::string root);
    void Add(const Argv &argv);
    const std::string &Root() const { return root_; }

private:
    std::string root_;
    int next_ = 100;
};

// The names of the regular files in `folder` that start with `prefix`, sorted.
std::vector<std::string> FilesStartingWith(const std::string &folder, const std::string &prefix);
