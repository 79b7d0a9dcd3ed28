#include "platform/desktop/backends/ProcessTable.h"

#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool AllDigits(const std::string &name)
{
    if (name.empty())
        return false;
    for (char c : name)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::vector<std::string> ReadCommandLine(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> argv;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        argv.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return argv;
}

} // namespace

std::vector<std::vector<std::string>> FindUserProcesses(const std::string &procRoot, const std::string &program)
{
    std::vector<std::vector<std::string>> found;
    DIR *dir = opendir(procRoot.c_str());
    if (dir == nullptr)
        return found;
    const uid_t me = getuid();
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!AllDigits(name))
            continue;
        const std::string folder = procRoot + "/" + name;
        struct stat st;
        if (stat(folder.c_str(), &st) != 0 || st.st_uid != me)
            continue;
        std::vector<std::string> argv = ReadCommandLine(folder + "/cmdline");
        if (argv.empty()) // a zombie, or a kernel thread
            continue;
        if (argv[0].substr(argv[0].rfind('/') + 1) == program)
            found.push_back(std::move(argv));
    }
    closedir(dir);
    return found;
}

const std::vector<std::string> *WithArgument(const std::vector<std::vector<std::string>> &processes,
                                             const std::string &flag)
{
    for (const auto &argv : processes)
        for (size_t i = 1; i < argv.size(); ++i)
            if (argv[i] == flag)
                return &argv;
    return nullptr;
}

std::string OptionValue(const std::vector<std::string> &argv, const std::string &name, const std::string &shortName,
                        const std::string &fallback)
{
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i].starts_with(name + "="))
            return argv[i].substr(name.size() + 1);
        if ((argv[i] == name || (!shortName.empty() && argv[i] == shortName)) && i + 1 < argv.size())
            return argv[i + 1];
    }
    return fallback;
}
