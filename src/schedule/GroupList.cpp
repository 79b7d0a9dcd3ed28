#include "schedule/GroupList.h"

#include "platform/AsciiText.h"
#include "platform/DirEnum.h"
#include "platform/Paths.h"

#include <algorithm>

std::vector<std::string> ListGroupFiles(const std::string &folder)
{
    std::vector<std::string> names;
    for (const DirEntry &entry : EnumerateDirectory(folder, "*")) {
        // A name that CP932 cannot hold, or one with a line end, could never be stored as UseSection.
        if (!entry.representable || entry.name.find_first_of("\r\n\x1A") != std::string::npos ||
            (entry.attributes & faDirectory) != 0)
            continue;
        if (LowerAsciiText(ExtractFileExt(entry.name)) == ".dat")
            names.push_back(entry.name);
    }
    return names;
}

bool IsListedGroup(const std::string &text, const std::vector<std::string> &names)
{
    return std::find(names.begin(), names.end(), text) != names.end();
}
