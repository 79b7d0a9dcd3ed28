#pragma once

#include <string>
#include <vector>

// The current user's running processes, read from a proc file system (tests hand a folder of their own):
// a desktop program that is not running explains a change that does not show.

// The argument lists of the current user's processes whose program (the base name of argv[0]) is
// `program`, in no particular order.
std::vector<std::vector<std::string>> FindUserProcesses(const std::string &procRoot, const std::string &program);
// The first of `processes` that has `flag` among its arguments; nullptr when none has.
const std::vector<std::string> *WithArgument(const std::vector<std::vector<std::string>> &processes,
                                             const std::string &flag);
// The value of an option given as "--name=VALUE" or "--name VALUE" (or "-s VALUE" when `shortName` is
// not empty); `fallback` when absent.
std::string OptionValue(const std::vector<std::string> &argv, const std::string &name, const std::string &shortName,
                        const std::string &fallback);
