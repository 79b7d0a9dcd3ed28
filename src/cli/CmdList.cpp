#include "cli/CliSupport.h"
#include "listedit/WallPaperList.h"

#include <vector>

// list FILE: the entries as the editor reads them, one per line: path, position, correction.
int CmdList(const std::vector<std::string> &args)
{
    if (args.size() != 1)
        throw UsageError("list: FILE");
    for (const WallPaperEntry &e : ReadWallPaperList(ArgPath(args[0]))) {
        std::string line;
        line.append(e.PicturePath).append("\t").append(e.PositionText).append("\t").append(e.CorrectionText);
        line.push_back('\n');
        PrintText(line);
    }
    return 0;
}
