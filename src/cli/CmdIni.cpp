#include "cli/CliSupport.h"
#include "ini/IniStore.h"

#include <vector>

// ini get FILE SECTION KEY [DEFAULT] | ini set FILE SECTION KEY VALUE
int CmdIni(const std::vector<std::string> &args)
{
    if (args.empty())
        throw UsageError("ini: get か set を指定してください");
    const std::string &verb = args[0];
    if (verb == "get") {
        if (args.size() != 4 && args.size() != 5)
            throw UsageError("ini get: FILE SECTION KEY [DEFAULT]");
        TIniStoreEx ini(ArgPath(args[1]));
        const std::string def = args.size() == 5 ? ArgText(args[4]) : std::string();
        PrintText(ini.ReadString(ArgText(args[2]), ArgText(args[3]), def));
        PrintText("\n");
        return 0;
    }
    if (verb == "set") {
        if (args.size() != 5)
            throw UsageError("ini set: FILE SECTION KEY VALUE");
        TIniStoreEx ini(ArgPath(args[1]));
        // An empty KEY erases the section, as the engine's WriteString does.
        ini.WriteString(ArgText(args[2]), ArgText(args[3]), ArgText(args[4]));
        ini.Flush();
        return 0;
    }
    throw UsageError("ini: 不明な操作 " + verb);
}
