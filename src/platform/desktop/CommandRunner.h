#pragma once

#include <string>
#include <vector>

struct CommandResult {
    int ExitCode = 0;      // -1 when the program could not be started, crashed or timed out
    std::string Output;    // standard output
    std::string Error;     // standard error, or why the program could not run
    bool NotFound = false; // the program is not on PATH
    bool TimedOut = false; // killed after the runner's bound
};

// Runs external programs without a shell; the arguments reach the program unchanged (UTF-8).
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    virtual CommandResult Run(const std::vector<std::string> &argv) = 0;
    // Waits between two looks at a desktop that applies a change in the background.
    virtual void Pause(int milliseconds);
};

// Runs programs found on PATH and waits for each at most `timeoutMs`: a desktop command runs while the
// window waits, so a program that hangs is killed rather than waited for.
class ProcessRunner : public CommandRunner {
public:
    static constexpr int kDefaultTimeoutMs = 5000;
    explicit ProcessRunner(int timeoutMs = kDefaultTimeoutMs) : timeoutMs_(timeoutMs) {}
    CommandResult Run(const std::vector<std::string> &argv) override;

private:
    int timeoutMs_;
};

// "prog arg 'arg with space'": a command line for messages.
std::string DescribeCommand(const std::vector<std::string> &argv);
// The Debian package that installs a desktop's command-line tool; "" for one not known.
std::string DebianPackageOf(const std::string &program);
// Why the command failed, in words for the user: a missing program with its package, a time-out, or
// the program's own message (standard error, else standard output).
std::string DescribeFailure(const std::vector<std::string> &argv, const CommandResult &result);
// Runs the command and raises Exception "壁紙を設定できません: COMMAND: MESSAGE" unless it exits with 0.
CommandResult RunChecked(CommandRunner &runner, const std::vector<std::string> &argv);
