#include "FakeDesktopTools.h"

#include "TempHome.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {

bool IsRead(const Argv &argv)
{
    if (argv.size() == 4 && argv[0] == "gsettings" && argv[1] == "get")
        return true;
    return argv.size() == 5 && argv[0] == "xfconf-query" && argv[3] == "-p";
}

} // namespace

CommandResult FakeRunner::Run(const Argv &argv)
{
    calls.push_back(argv);
    if (respond) {
        CommandResult answer = respond(argv);
        if (answer.ExitCode != 0 || !answer.Output.empty())
            return answer;
    }
    if (argv.size() == 5 && argv[0] == "gsettings" && argv[1] == "set") {
        store[argv[2] + " " + argv[3]] = argv[4];
    } else if (IsRead(argv)) {
        const auto found = store.find(argv[0] == "gsettings" ? argv[2] + " " + argv[3] : argv[2] + " " + argv[4]);
        if (found == store.end())
            return CommandResult{1, "", "no such key"};
        return CommandResult{0, found->second + "\n", ""};
    } else if (argv.size() == 10 && argv[0] == "xfconf-query" && argv[8] == "-s") {
        store[argv[2] + " " + argv[4]] = argv[9];
    }
    return CommandResult{};
}

std::vector<Argv> FakeRunner::Changes() const
{
    std::vector<Argv> changes;
    for (const Argv &argv : calls)
        if (!IsRead(argv))
            changes.push_back(argv);
    return changes;
}

FakeProc::FakeProc(std::string root) : root_(std::move(root))
{
    mkdir(root_.c_str(), 0700);
}

void FakeProc::Add(const Argv &argv)
{
    const std::string folder = root_ + "/" + std::to_string(next_++);
    mkdir(folder.c_str(), 0700);
    std::string cmdline;
    for (const std::string &arg : argv)
        cmdline += arg + std::string(1, '\0');
    WriteFileBytes(folder + "/cmdline", cmdline);
}

std::vector<std::string> FilesStartingWith(const std::string &folder, const std::string &prefix)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            struct stat st;
            if (name.starts_with(prefix) && stat((folder + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}
