// What the size of a group costs a change: changes in a group of 2 entries and in one of 100,000
// (every entry its own picture file, hard links of one screen-sized JPEG), alternately, in random
// order without repeats (or another order), made in this process through ChangeSchedule with the
// `file` desktop, and as `tapistoctl --home DIR next` processes. Prints the CPU time per change of
// each group (the process's, render thread included; for tapistoctl the child's user + system),
// their ratio, and the resident size of this process before and after the in-process changes.
//
//   bench_change [--changes N] [--entries A,B] [--order norepeat|random|list] [--picture FILE]
//                [--screen WxH] [--ctl PATH_TO_tapistoctl]
//
// Defaults: 40 changes per group, groups of 2 and 100000 entries, random order without repeats, a
// 1920x1080 JPEG made here, a 1920x1080 screen; tapistoctl from the build's bin folder when it is
// there. The home folder is a fresh temporary one in $TMPDIR.
#include "ini/IniRegistry.h"
#include "listedit/WallPaperList.h"
#include "platform/Memory.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/ChangeFactory.h"
#include "schedule/ChangeSchedule.h"
#include "schedule/Settings.h"

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;

namespace {

double ProcessCpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Mean(const std::vector<double> &v)
{
    double sum = 0;
    for (const double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
}

// A photo-like picture: gradients with some texture, so that the JPEG is of a usual size.
void MakePicture(const fs::path &path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb((x * 255 / width + (x * y) % 17) & 255, (y * 255 / height + x % 13) & 255, (x + y) % 256);
    }
    if (!image.save(QString::fromStdString(path.string()), "JPEG", 90))
        throw std::runtime_error("cannot write " + path.string());
}

// A group of `count` entries, entry k showing its own hard link of the picture.
std::string MakeGroup(const fs::path &home, const fs::path &picture, int count)
{
    const fs::path folder = home / ("pictures" + std::to_string(count));
    fs::create_directories(folder);
    WallPaperList list;
    list.reserve(size_t(count));
    fs::path source = picture;
    for (int k = 0; k < count; ++k) {
        const fs::path link = folder / ("photo_" + std::to_string(k) + ".jpg");
        // A file system allows a file only so many links (65000 on ext4): a copy takes over then.
        if (std::error_code ec; fs::create_hard_link(source, link, ec), ec) {
            source = folder / ("source_" + std::to_string(k) + ".jpg");
            fs::copy_file(picture, source);
            fs::create_hard_link(source, link);
        }
        list.push_back({link.string(), std::string(kPositionEnlarge), std::string(kCorrectionAuto)});
    }
    std::string name = "group" + std::to_string(count) + ".dat";
    WriteWallPaperList((home / name).string(), list);
    return name;
}

// One `tapistoctl --home HOME next`; its CPU time in ms, or -1 when it failed.
double CtlNext(const std::string &ctl, const fs::path &home, const std::string &screen)
{
    const std::string homeArg = home.string() + "/";
    const std::string monitors = screen + "+0+0";
    const char *argv[] = {ctl.c_str(), "--home", homeArg.c_str(), "next", "--monitors", monitors.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, ctl.c_str(), nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void Report(const char *what, const std::vector<int> &entries, const std::vector<std::vector<double>> &cpu)
{
    for (size_t g = 0; g < entries.size(); ++g)
        std::printf("  %s, %6d entries: CPU per change median %.2f ms, mean %.2f ms\n", what, entries[g],
                    Median(cpu[g]), Mean(cpu[g]));
    if (entries.size() == 2 && Median(cpu[0]) > 0)
        std::printf("  %s: ratio %d / %d entries %.2f (median), %.2f (mean); target at most 1.3\n", what, entries[1],
                    entries[0], Median(cpu[1]) / Median(cpu[0]), Mean(cpu[1]) / Mean(cpu[0]));
}

} // namespace

int main(int argc, char **argv)
{
    int changes = 40;
    std::vector<int> entries = {2, 100000};
    std::string order = "norepeat";
    std::string picture;
    std::string screen = "1920x1080";
    const fs::path exe = fs::canonical("/proc/self/exe");
    std::string ctl = (exe.parent_path().parent_path() / "bin" / "tapistoctl").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--changes") {
            changes = std::max(1, std::atoi(value.c_str()));
        } else if (option == "--entries") {
            entries.clear();
            for (size_t start = 0; start < value.size();) {
                size_t comma = value.find(',', start);
                comma = comma == std::string::npos ? value.size() : comma;
                entries.push_back(std::max(1, std::atoi(value.substr(start, comma - start).c_str())));
                start = comma + 1;
            }
        } else if (option == "--order") {
            order = value;
        } else if (option == "--picture") {
            picture = value;
        } else if (option == "--screen") {
            screen = value;
        } else if (option == "--ctl") {
            ctl = value;
        } else {
            std::fprintf(stderr, "bench_change: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    int width = 0, height = 0;
    if (std::sscanf(screen.c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "bench_change: --screen WxH\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);

    std::string pattern = (fs::temp_directory_path() / "tapisto-change-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    const fs::path home = pattern;
    ::setenv("TAPISTO_HOME", (home.string() + "/").c_str(), 1);
    ::setenv("TAPISTO_DESKTOP", "file", 1);
    int status = 0;
    try {
        if (picture.empty()) {
            picture = (home / "picture.jpg").string();
            MakePicture(picture, width, height);
        }
        std::vector<std::string> groups;
        groups.reserve(entries.size());
        for (const int count : entries)
            groups.push_back(MakeGroup(home, picture, count));
        Settings::WriteValue(Settings::kOp3Checked, order == "list" ? "0" : "1");
        Settings::WriteValue(Settings::kOpNoRepeat, order == "norepeat" ? "1" : "0");
        Settings::WriteValue(Settings::kOpSusie, "0"); // a JPEG needs no plug-in
        std::printf("%d changes per group, order %s, picture %s, screen %s, load average before: ", changes,
                    order.c_str(), picture.c_str(), screen.c_str());
        std::fflush(stdout);
        std::system("cut -d' ' -f1-3 /proc/loadavg");

        StandaloneChange change(std::make_unique<FixedScreenMetrics>(width, height),
                                std::make_unique<IniRegistry>((home / "registry.ini").string()));
        ChangeSchedule schedule(change.Changer());
        std::vector<int32_t> positions(groups.size(), 0);
        auto changeIn = [&](size_t g) {
            Settings::WriteValue(Settings::kUseSection, groups[g]);
            schedule.CurrentIndex = positions[g];
            const double before = ProcessCpuMs();
            schedule.NextWallPaper();
            const double used = ProcessCpuMs() - before;
            positions[g] = schedule.CurrentIndex;
            return used;
        };
        // A first change of each group makes its round (once per round, not per change).
        for (size_t g = 0; g < groups.size(); ++g)
            changeIn(g);
        const long rssBefore = ResidentKilobytes();
        std::vector<std::vector<double>> cpu(groups.size());
        for (int i = 0; i < changes; ++i)
            for (size_t g = 0; g < groups.size(); ++g)
                cpu[g].push_back(changeIn(g));
        const long rssAfter = ResidentKilobytes();
        std::printf("in this process (ChangeSchedule, file desktop):\n");
        Report("in-process", entries, cpu);
        std::printf("  resident memory after the first change of each group %ld kB, after %d more %ld kB (%+ld kB)\n",
                    rssBefore, changes * int(groups.size()), rssAfter, rssAfter - rssBefore);

        if (::access(ctl.c_str(), X_OK) == 0) {
            std::vector<std::vector<double>> ctlCpu(groups.size());
            for (int i = 0; i < changes; ++i) {
                for (size_t g = 0; g < groups.size(); ++g) {
                    Settings::WriteValue(Settings::kUseSection, groups[g]);
                    const double used = CtlNext(ctl, home, screen);
                    if (used < 0)
                        throw std::runtime_error(ctl + " next failed");
                    ctlCpu[g].push_back(used);
                }
            }
            std::printf("as processes (%s --home DIR next):\n", ctl.c_str());
            Report("tapistoctl next", entries, ctlCpu);
        } else {
            std::printf("no tapistoctl at %s: its figures are left out\n", ctl.c_str());
        }
        std::printf("load average after: ");
        std::fflush(stdout);
        std::system("cut -d' ' -f1-3 /proc/loadavg");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_change: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    return status;
}
