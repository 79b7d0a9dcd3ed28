#include "CliRun.h"

#include <cstdint>
#include <cstdlib>
#include <sys/wait.h>

std::string ShellQuote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

int RunTapistoctl(const std::string &env, const std::string &args)
{
    const char *bin = std::getenv("TAPISTO_BIN_DIR");
    const std::string command = "env " + env + " " + ShellQuote(std::string(bin ? bin : "build/bin") + "/tapistoctl") +
                                " " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TinyBmp(int width, int height)
{
    const int row = (width * 3 + 3) / 4 * 4;
    const int size = 54 + row * height;
    std::string b(static_cast<size_t>(size), '\x80');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    b.replace(0, 54, 54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(size));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    return b;
}
