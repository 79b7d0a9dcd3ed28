#pragma once

#include <string>
#include <vector>

struct CommandResult {
    int ExitCode = 0;   // -1 when the program could not be started or crashed
    std::string Output; // standard output
    std::string Error;  // standard error, or why the program could not run
};

// Runs external programs without a shell; the arguments reach the program unchanged (UTF-8).
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    virtual CommandResult Run(const std::vector<std::string> &argv) = 0;
};

// Runs programs found on PATH and waits for them (at most 30 seconds each).
class ProcessRunner : public CommandRunner {
public:
    CommandResult Run(const std::vector<std::string> &argv) override;
};

// "prog arg 'arg with space'": a command line for messages.
std::string DescribeCommand(const std::vector<std::string> &argv);
// Runs the command and raises Exception "壁紙を設定できません: COMMAND: MESSAGE" unless it exits with 0.
CommandResult RunChecked(CommandRunner &runner, const std::vector<std::string> &argv);
