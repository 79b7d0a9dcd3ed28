// plugins [--plugins] [--mask MASK]: the plug-ins that the program's search loads.
#include "cli/CliSupport.h"
#include "cli/PluginSearch.h"
#include "platform/Encoding.h"

#include <cstdio>

#include <string>
#include <vector>

// Lists every loaded plug-in: file, API version and name separated by tabs, then one indented line
// per pattern list with its description. --mask replaces "*.spi"; a mask with a folder searches that
// folder only. --plugins is accepted for symmetry with the other commands: this one always searches.
int CmdPlugins(const std::vector<std::string> &args)
{
    std::string mask = "*.spi";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--plugins")
            continue;
        if (args[i] == "--mask") {
            if (i + 1 >= args.size())
                throw UsageError("plugins: --mask に値がありません");
            mask = ArgPath(args[++i]);
        } else if (args[i].starts_with("--")) {
            throw UsageError("plugins: 不明なオプション " + args[i]);
        } else {
            throw UsageError("plugins: 引数はありません");
        }
    }
    PluginSearch search(mask);
    TSPIs &spis = search.SPIs();
    for (int i = 0; i < spis.Count(); ++i) {
        const TSPI &spi = spis.Items(i);
        // A plug-in's texts may not be valid CP932: shown as well as they can be.
        const std::string line = spi.FileName() + "\t" + spi.APIVersion() + "\t" + spi.PluginName() + "\n";
        std::fputs(Cp932ToUtf8Lossy(line).c_str(), stdout);
        for (size_t k = 0; k < spi.Extensions().size(); ++k)
            std::fputs(Cp932ToUtf8Lossy("\t" + spi.Extensions()[k] + "\t" + spi.Descriptions()[k] + "\n").c_str(),
                       stdout);
    }
    return 0;
}
