#include "platform/desktop/CommandRunner.h"

#include "platform/Exceptions.h"

#include <QProcess>
#include <QStringList>

CommandResult ProcessRunner::Run(const std::vector<std::string> &argv)
{
    CommandResult result;
    if (argv.empty()) {
        result.ExitCode = -1;
        result.Error = "no command";
        return result;
    }
    QStringList args;
    for (size_t i = 1; i < argv.size(); ++i)
        args << QString::fromStdString(argv[i]);
    QProcess process;
    process.start(QString::fromStdString(argv[0]), args);
    if (!process.waitForStarted(10000)) {
        result.ExitCode = -1;
        result.Error = process.errorString().toStdString();
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(1000);
        result.ExitCode = -1;
        result.Error = "timed out";
        return result;
    }
    result.Output = process.readAllStandardOutput().toStdString();
    result.Error = process.readAllStandardError().toStdString();
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

std::string DescribeCommand(const std::vector<std::string> &argv)
{
    std::string out;
    for (const std::string &arg : argv) {
        if (!out.empty())
            out += ' ';
        const bool plain = !arg.empty() && arg.find_first_of(" \t\n'\"\\$`;&|<>()*?") == std::string::npos;
        if (plain) {
            out += arg;
        } else {
            out += '\'';
            for (char c : arg)
                out += c == '\'' ? std::string("'\\''") : std::string(1, c);
            out += '\'';
        }
    }
    return out;
}

CommandResult RunChecked(CommandRunner &runner, const std::vector<std::string> &argv)
{
    CommandResult result = runner.Run(argv);
    if (result.ExitCode != 0) {
        std::string message = result.Error;
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        if (message.empty())
            message = "exit status " + std::to_string(result.ExitCode);
        throw Exception(FormatMessage("壁紙を設定できません: %s: %s", {DescribeCommand(argv), message}));
    }
    return result;
}
