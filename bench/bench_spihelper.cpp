// What running the plug-ins in their helper process costs a change: one picture rendered for the
// screen as a change renders it (RenderWallPaper) through png.spi, with the plug-ins in this process
// or in the helper. Run once per way, in separate processes, so that each peak is its own:
//
//   bench_spihelper inprocess|helper [RUNS] [--whole] [--pss] [--picture PNG]
//
// Without --picture a 4000x3000 photo-like PNG is made in $TMPDIR. --whole loads the picture whole
// (GetPicture, as the editor's preview does) instead of by rows. Prints the first change (which for
// the helper includes starting it and loading the plug-in into it), the median and the fastest of the
// others, the peak resident memory of this process and of the helper, and with --pss the peak of their
// proportional set sizes together (shared memory counted once), sampled every 2 ms by a thread that
// slows the run: take the times from runs without it.
#include "platform/Registry.h"
#include "schedule/Render.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "spi/SpiModule.h"
#include "spi/SpiProcess.h"

#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class NoRegistry : public Registry {
public:
    std::optional<std::string> ReadString(const std::string &, const std::string &) override { return std::nullopt; }
    void WriteString(const std::string &, const std::string &, const std::string &) override {}
};

// Smooth shading with fine noise, which compresses about as a photo does.
void MakePhotoPng(const std::string &path)
{
    QImage image(4000, 3000, QImage::Format_RGB888);
    std::mt19937 random(7);
    for (int y = 0; y < image.height(); ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random() % 9) - 4;
            row[x * 3] = uchar(std::clamp(x * 255 / 4000 + noise, 0, 255));
            row[x * 3 + 1] = uchar(std::clamp(y * 255 / 3000 + noise, 0, 255));
            row[x * 3 + 2] = uchar(std::clamp((x + y) * 255 / 7000 + noise, 0, 255));
        }
    }
    if (!image.save(QString::fromStdString(path), "PNG"))
        throw std::runtime_error("cannot write " + path);
}

// A field of a /proc file of a process ("VmHWM:" of status, "Pss:" of smaps_rollup) in KiB; 0 when it
// cannot be read.
long ProcKiB(long pid, const char *file, const std::string &field)
{
    std::ifstream in("/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) + "/" + file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
    return 0;
}

// The largest proportional set size of this process and the helper together, sampled while it runs:
// memory the two share (the pictures' memory files) counts once, split between them.
class PssSampler {
public:
    PssSampler()
        : thread_([this] {
              while (!done_) {
                  const long helper = SpiHelperPid();
                  const long sum =
                      ProcKiB(0, "smaps_rollup", "Pss:") + (helper > 0 ? ProcKiB(helper, "smaps_rollup", "Pss:") : 0);
                  peak_ = std::max(peak_.load(), sum);
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          })
    {
    }
    ~PssSampler() { Stop(); }
    long Stop()
    {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
        return peak_;
    }

private:
    std::atomic<bool> done_{false};
    std::atomic<long> peak_{0};
    std::thread thread_;
};

// CPU time (user and system) of a process so far, in milliseconds.
double CpuMs(long pid)
{
    if (pid == 0) {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(all.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; fields >> field && i <= 15; ++i)
        if (i >= 14)
            ticks += std::stod(field);
    return ticks * 1e3 / double(::sysconf(_SC_CLK_TCK));
}

int Bench(int argc, char **argv)
{
    if (argc < 2 || (std::strcmp(argv[1], "inprocess") != 0 && std::strcmp(argv[1], "helper") != 0)) {
        std::fprintf(stderr, "usage: bench_spihelper inprocess|helper [RUNS] [--whole] [--pss] [--picture PNG]\n");
        return 2;
    }
    const bool helper = std::strcmp(argv[1], "helper") == 0;
    int runs = 10;
    bool whole = false, sample = false;
    std::string picture;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--whole") == 0)
            whole = true;
        else if (std::strcmp(argv[i], "--pss") == 0)
            sample = true;
        else if (std::strcmp(argv[i], "--picture") == 0 && i + 1 < argc)
            picture = argv[++i];
        else
            runs = std::max(2, std::atoi(argv[i]));
    }
    const fs::path work = fs::temp_directory_path() / ("bench_spihelper." + std::to_string(::getpid()));
    fs::create_directories(work);
    if (picture.empty()) {
        picture = (fs::temp_directory_path() / "bench_spihelper_4000x3000.png").string();
        if (!fs::exists(picture))
            MakePhotoPng(picture);
    }
    const std::string output = (work / "out.bmp").string();
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path().parent_path() / "bin";

    SetSpiIsolation(helper ? SpiIsolation::Helper : SpiIsolation::InProcess);
    RegisterSPIBitmapClass();
    NoRegistry registry;
    std::vector<double> ms;
    long helperPeak = 0;
    double cpuStart = 0, cpuPerChange = 0;
    std::optional<PssSampler> pss;
    if (sample)
        pss.emplace();
    {
        TSPIs spis(registry);
        spis.Search((bin / "png.spi").string());
        if (spis.Count() != 1) {
            std::fprintf(stderr, "png.spi not found in %s\n", bin.c_str());
            return 1;
        }
        for (int i = 0; i < runs; ++i) {
            if (i == 1)
                cpuStart = CpuMs(0) + (helper ? CpuMs(SpiHelperPid()) : 0);
            const auto start = std::chrono::steady_clock::now();
            if (whole) {
                TSPIBitmap bitmap;
                bitmap.StreamFromPixels = INT64_MAX;
                bitmap.LoadFromFile(picture);
                (void)bitmap.StretchedImage(QSize(1440, 1080));
            } else {
                RenderWallPaper(picture, 0, 1920, 1440, output);
            }
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        helperPeak = helper ? ProcKiB(SpiHelperPid(), "status", "VmHWM:") : 0;
        cpuPerChange = (CpuMs(0) + (helper ? CpuMs(SpiHelperPid()) : 0) - cpuStart) / (runs - 1);
    }
    const long pssPeak = pss ? pss->Stop() : 0;
    const double first = ms.front();
    std::vector<double> rest(ms.begin() + 1, ms.end());
    std::sort(rest.begin(), rest.end());
    const long selfPeak = ProcKiB(0, "status", "VmHWM:");
    std::printf("%-9s %-5s first %7.1f ms  median %7.1f ms  min %7.1f ms  cpu %7.1f ms  peak RSS %5.1f MiB, helper "
                "%4.1f MiB;  peak PSS together %5.1f MiB\n",
                argv[1], whole ? "whole" : "rows", first, rest[rest.size() / 2], rest.front(), cpuPerChange,
                selfPeak / 1024.0, helperPeak / 1024.0, pssPeak / 1024.0);
    fs::remove_all(work);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return Bench(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_spihelper: %s\n", e.what());
        return 1;
    }
}
