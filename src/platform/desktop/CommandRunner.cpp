#include "platform/desktop/CommandRunner.h"

#include "platform/Exceptions.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <array>
#include <utility>

void CommandRunner::Pause(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

CommandResult ProcessRunner::Run(const std::vector<std::string> &argv)
{
    CommandResult result;
    if (argv.empty()) {
        result.ExitCode = -1;
        result.Error = "no command";
        return result;
    }
    const QString program = QString::fromStdString(argv[0]);
    if (!program.contains(QLatin1Char('/')) && QStandardPaths::findExecutable(program).isEmpty()) {
        result.ExitCode = -1;
        result.NotFound = true;
        result.Error = "not found";
        return result;
    }
    QStringList args;
    for (size_t i = 1; i < argv.size(); ++i)
        args << QString::fromStdString(argv[i]);
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(timeoutMs_)) {
        result.ExitCode = -1;
        result.NotFound = process.error() == QProcess::FailedToStart;
        result.Error = process.errorString().toStdString();
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs_)) {
        process.kill();
        process.waitForFinished(1000);
        result.ExitCode = -1;
        result.TimedOut = true;
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

std::string DebianPackageOf(const std::string &program)
{
    static constexpr std::array<std::pair<const char *, const char *>, 9> kPackages{{
        {"gsettings", "libglib2.0-bin"},
        {"xfconf-query", "xfconf"},
        {"pcmanfm", "pcmanfm"},
        {"pcmanfm-qt", "pcmanfm-qt"},
        {"swaymsg", "sway"},
        {"hyprctl", "hyprland"},
        {"dbus-send", "dbus-bin"},
        {"qdbus", "qdbus-qt5"},
        {"xfdesktop", "xfdesktop4"},
    }};
    const std::string name = program.substr(program.rfind('/') + 1);
    for (const auto &[tool, package] : kPackages)
        if (name == tool)
            return package;
    return {};
}

namespace {

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

std::string DescribeFailure(const std::vector<std::string> &argv, const CommandResult &result)
{
    const std::string program = argv.empty() ? std::string() : argv[0];
    if (result.NotFound) {
        const std::string package = DebianPackageOf(program);
        if (package.empty())
            return FormatMessage("%s が見つかりません", {program});
        return FormatMessage("%s が見つかりません（パッケージ %s をインストールしてください）", {program, package});
    }
    if (result.TimedOut)
        return "応答がないため打ち切りました";
    std::string message = Trimmed(result.Error);
    if (message.empty())
        message = Trimmed(result.Output); // some tools (swaymsg) print their error there
    if (message.empty())
        message = "exit status " + std::to_string(result.ExitCode);
    return message;
}

CommandResult RunChecked(CommandRunner &runner, const std::vector<std::string> &argv)
{
    CommandResult result = runner.Run(argv);
    if (result.ExitCode != 0) {
        if (result.NotFound)
            throw Exception("壁紙を設定できません: " + DescribeFailure(argv, result));
        throw Exception(
            FormatMessage("壁紙を設定できません: %s: %s", {DescribeCommand(argv), DescribeFailure(argv, result)}));
    }
    return result;
}
