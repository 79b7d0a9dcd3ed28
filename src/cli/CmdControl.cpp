// pause, resume, show, status: commands for the running program, over the session bus. next and
// back try the same way first (CmdStep.cpp).
#include "cli/CliSupport.h"
#include "cli/ControlCall.h"
#include "cli/GuiStart.h"
#include "control/ControlClient.h"
#include "platform/Exceptions.h"

#include <cstdio>

namespace {

constexpr char kNotRunning[] = "Tapisto は起動していません";

int Control(const char *command, const char *method, const std::vector<std::string> &args)
{
    bool json = false;
    for (const std::string &arg : args) {
        if (arg == "--json" && std::string(method) == "Status")
            json = true;
        else
            throw UsageError(std::string(command) + ": 不明な引数 " + arg);
    }
    EnsureCoreApplication();
    const ControlReply reply = CallControl(QString::fromLatin1(method));
    if (reply.result == ControlReply::NotRunning)
        throw Exception(kNotRunning);
    ThrowIfFailed(reply);
    if (std::string(method) == "Status") {
        const std::string text = json ? FormatStatusJson(reply.status) : FormatStatusLines(reply.status);
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return 0;
}

} // namespace

void ThrowIfFailed(const ControlReply &reply)
{
    if (reply.result == ControlReply::Failed)
        throw Exception(reply.error.toStdString());
}

int CmdPause(const std::vector<std::string> &args)
{
    return Control("pause", "Pause", args);
}
int CmdResume(const std::vector<std::string> &args)
{
    return Control("resume", "Resume", args);
}
int CmdShow(const std::vector<std::string> &args)
{
    return Control("show", "Show", args);
}
int CmdStatus(const std::vector<std::string> &args)
{
    return Control("status", "Status", args);
}
