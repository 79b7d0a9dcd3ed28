#include "XvfbServer.h"

#include "XRootReader.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

XvfbServer::XvfbServer(const std::string &size)
{
    if (access("/usr/bin/Xvfb", X_OK) != 0)
        return;
    for (int number = 70 + getpid() % 100; number < 400; ++number) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        struct stat st;
        if (stat(socket.c_str(), &st) == 0 || stat(lock.c_str(), &st) == 0)
            continue;
        display_ = ":" + std::to_string(number);
        std::vector<std::string> args{"Xvfb", display_, "-noreset", "-nolisten", "tcp", "-screen", "0", size + "x24"};
        std::vector<char *> argv;
        argv.reserve(args.size() + 1);
        for (std::string &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            // A test process that dies (a fault under test may end it) takes its server with it.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execv("/usr/bin/Xvfb", argv.data());
            _exit(127);
        }
        if (pid_ < 0) {
            pid_ = 0;
            return;
        }
        for (int i = 0; i < 100; ++i) {
            if (!ReadXRoot(display_).Pixels.empty())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Stop(); // did not come up on this number
    }
}

XvfbServer::~XvfbServer()
{
    Stop();
}

void XvfbServer::Stop()
{
    if (pid_ != 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
}
