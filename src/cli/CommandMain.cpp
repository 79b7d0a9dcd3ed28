// tapistoctl's commands: the library the launcher (Launcher.cpp) loads for all work but the renders it
// makes itself. Drives the program's code from the command line, without a window.
#include "cli/CommandMain.h"
#include "cli/CliSupport.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/TempFiles.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

// A command: runs on the arguments after its name and returns the exit status.
using CommandFunction = int(const std::vector<std::string> &args);

// Each command lives in its own Cmd<Name>.cpp.
CommandFunction CmdIni, CmdList, CmdRender, CmdApply, CmdFormats, CmdPlugins, CmdNext, CmdBack, CmdPause, CmdResume,
    CmdShow, CmdStatus;

namespace {

struct Command {
    const char *name;
    CommandFunction *run;
    const char *usage;
};

const Command kCommands[] = {
    {"render", CmdRender,
     "render PICTURE... OUT.bmp [--correction TEXT] [--screen WxH | --monitors WxH+X+Y,...] [--plugins]"},
    {"apply", CmdApply, "apply PICTURE... [--position TEXT] [--correction TEXT] [--monitors WxH+X+Y,...] [--plugins]"},
    {"formats", CmdFormats, "formats [--plugins]"},
    {"plugins", CmdPlugins, "plugins [--plugins] [--mask MASK]"},
    {"next", CmdNext, "next [--monitors WxH+X+Y,...]"},
    {"back", CmdBack, "back [--monitors WxH+X+Y,...]"},
    {"pause", CmdPause, "pause"},
    {"resume", CmdResume, "resume"},
    {"show", CmdShow, "show"},
    {"status", CmdStatus, "status [--json]"},
    {"list", CmdList, "list FILE"},
    {"ini", CmdIni, "ini get FILE SECTION KEY [DEFAULT]\n  ini set FILE SECTION KEY VALUE"},
};

void PrintUsage(FILE *out)
{
    std::fputs("usage: tapistoctl [--home DIR] COMMAND [ARGS]\n", out);
    for (const Command &c : kCommands)
        std::fprintf(out, "  %s\n", c.usage);
    // The lines above are syntax, kept in the usual form of command lines; what explains is Japanese.
    std::fputs("テキストは UTF-8 で読み書きします。終了コード: 0 成功、1 失敗（理由は標準エラーに）、2 使い方の誤り。\n"
               "詳しくはユーザーガイドの「tapistoctl とキー割り当て」にあります。\n",
               out);
}

int UsageFailure(const std::string &message)
{
    std::fprintf(stderr, "tapistoctl: %s\n", message.c_str());
    PrintUsage(stderr);
    return 2;
}

// The error's text on standard error; when even that text cannot be made, memory has run out.
void PrintError(const std::exception_ptr &error) noexcept
{
    try {
        std::fprintf(stderr, "tapistoctl: %s\n", ErrorMessage(error).c_str());
    } catch (...) {
        std::fputs("tapistoctl: メモリが不足しています。\n", stderr);
    }
}

int RunCommandLine(int argc, char **argv)
{
    RemoveTemporariesOnTermination(); // this library's writers, then the launcher's
    // Global options may stand anywhere before a "--"; the rest goes to the command.
    std::vector<std::string> args;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            PrintUsage(stdout);
            return 0;
        } else if (!optionsEnded && arg == "--home") {
            if (i + 1 >= argc)
                return UsageFailure("--home: フォルダを指定してください");
            SetHomeFolderOverride(argv[++i]);
        } else if (!optionsEnded && arg.rfind("--home=", 0) == 0) {
            SetHomeFolderOverride(arg.substr(7));
        } else {
            args.push_back(std::move(arg));
        }
    }
    if (args.empty())
        return UsageFailure("コマンドを指定してください");

    const std::string name = args.front();
    args.erase(args.begin());
    for (const Command &c : kCommands) {
        if (name != c.name)
            continue;
        int status = c.run(args);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "tapistoctl: 標準出力に書き込めません: %s\n", ErrnoText(errno).c_str());
            return 1;
        }
        return status;
    }
    return UsageFailure("不明なコマンド " + name);
}

} // namespace

// A C entry, which nothing may leave: every error ends as its text and exit status 1.
extern "C" int TapistoctlMain(int argc, char **argv)
{
    try {
        try {
            return RunCommandLine(argc, argv);
        } catch (const UsageError &e) {
            return UsageFailure(e.what());
        }
    } catch (...) {
        PrintError(std::current_exception());
        return 1;
    }
}
