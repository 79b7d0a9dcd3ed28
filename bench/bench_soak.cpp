// Soak run: many wallpaper changes through the timer tick's code path (ChangeSchedule::Tick, which
// reads the settings and the group anew, then renders and applies the picture through the change
// object tapistoctl assembles, with the `file` desktop backend and the INI registry) over a group of
// small pictures in every format. Reports the time per change and the resident memory after the
// first 100 changes and at the end.
//
//   bench_soak [CHANGES] [--no-plugins] [--pictures DIR]      (default 10000 changes)
//
// Pictures come from the test fixtures, or are every file in DIR (for big pictures, e.g. the corpus
// of make_render_corpus.sh); the home folder is a fresh temporary one (in $TMPDIR).
#include "ini/IniRegistry.h"
#include "listedit/WallPaperList.h"
#include "platform/Exceptions.h"
#include "platform/Memory.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/ChangeFactory.h"
#include "schedule/ChangeSchedule.h"
#include "schedule/Settings.h"
#include "spi/SPIs.h"

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Copies a fixture; `skip` drops a leading selector byte of the fuzz seeds.
void CopyFixture(const fs::path &from, const fs::path &to, size_t skip = 0)
{
    std::ifstream in(from, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() <= skip)
        throw std::runtime_error("missing fixture " + from.string());
    std::ofstream(to, std::ios::binary) << bytes.substr(skip);
}

// The group's pictures: every built-in format, and the plug-in formats when they are used.
std::vector<std::string> MakePictures(const fs::path &data, const fs::path &folder, bool plugins)
{
    fs::create_directories(folder);
    std::vector<std::string> paths;
    auto add = [&](const fs::path &from, const std::string &name, size_t skip = 0) {
        CopyFixture(from, folder / name, skip);
        paths.push_back((folder / name).string());
    };
    add(data / "picture/grad.jpg", "grad.jpg");
    add(data / "picture/grad_progressive.jpg", "progressive.jpeg");
    add(data / "picture/grad_cmyk.jpg", "cmyk.jpg");
    add(data / "picture/grad_gray.jpg", "gray.JPG");
    add(data / "picture/two_sizes.ico", "two_sizes.ico");
    add(data / "picture/rect.emf", "rect.emf");
    add(data / "picture/rect.wmf", "rect.wmf");
    add(data / "fuzz/picture/seed_p24.bmp", "p24.bmp", 1);
    add(data / "fuzz/picture/seed_p8.bmp", "p8.bmp", 1);
    add(data / "fuzz/picture/seed_p1.bmp", "p1.bmp", 1);
    QImage big(320, 200, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x)
            big.setPixel(x, y, qRgb(x % 256, y, (x * y) % 256));
    big.save(QString::fromStdString((folder / "big.bmp").string()), "BMP");
    paths.push_back((folder / "big.bmp").string());
    if (plugins) {
        for (const char *name :
             {"p24.png", "p32.png", "p8.png", "p.gif", "anim.gif", "p.webp", "pl.webp", "p.tif", "p8.tif"})
            add(data / "fuzz/plugins" / (std::string("seed_") + name), name, 1);
    }
    return paths;
}

// Positions and corrections cycle so every rendering path is taken.
WallPaperList MakeGroup(const std::vector<std::string> &pictures)
{
    const std::string positions[] = {std::string(kPositionCentre), std::string(kPositionTile),
                                     std::string(kPositionEnlarge)};
    const std::string corrections[] = {"", std::string(kCorrectionAuto), "50%", "150%", "300%"};
    WallPaperList list;
    for (size_t i = 0; i < pictures.size() * 5; ++i)
        list.push_back({pictures[i % pictures.size()], positions[i % 3], corrections[i / pictures.size() % 5]});
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    int changes = 10000;
    bool plugins = true;
    std::string pictureFolder;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--no-plugins")
            plugins = false;
        else if (std::string(argv[i]) == "--pictures" && i + 1 < argc)
            pictureFolder = argv[++i];
        else
            changes = std::max(1, std::atoi(argv[i]));
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv); // metafiles render through Qt SVG

    // TMPDIR=/dev/shm takes the disk's flush time out of the figures.
    std::string pattern = (fs::temp_directory_path() / "tapisto-soak-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    const fs::path home = pattern;
    ::setenv("TAPISTO_HOME", (home.string() + "/").c_str(), 1);
    const fs::path exe = fs::canonical("/proc/self/exe");
    const fs::path data = fs::path(TAPISTO_SOURCE_DIR) / "tests/data";
    int status = 0;
    try {
        // The change is assembled as tapistoctl's: the file backend, forced as a user would force it.
        ::setenv("TAPISTO_DESKTOP", "file", 1);
        StandaloneChange change(std::make_unique<FixedScreenMetrics>(640, 480),
                                std::make_unique<IniRegistry>((home / "registry.ini").string()));
        if (plugins) {
            const TSPIs &spis = change.LoadPlugins((exe.parent_path().parent_path() / "bin" / "*.spi").string());
            std::printf("plug-ins loaded: %d\n", spis.Count());
        }
        std::vector<std::string> pictures;
        if (pictureFolder.empty())
            pictures = MakePictures(data, home / "pictures", plugins);
        else
            for (const auto &entry : fs::directory_iterator(pictureFolder))
                if (entry.is_regular_file())
                    pictures.push_back(entry.path().string());
        std::sort(pictures.begin(), pictures.end());
        WriteWallPaperList((home / "soak.dat").string(), MakeGroup(pictures));
        Settings::WriteSchedule("soak.dat", "0", "0", "10");
        Settings::WriteFlag(Settings::kOp3Checked, false);
        ChangeSchedule schedule(change.Changer());

        std::printf("%zu pictures, %zu entries, %d changes\n", pictures.size(), pictures.size() * 5, changes);
        std::map<std::string, int> errors;
        const long rssBefore = ResidentKilobytes();
        long rssAt100 = 0;
        std::vector<double> times;
        times.reserve(size_t(changes));
        const auto start = std::chrono::steady_clock::now();
        for (int i = 1; i <= changes; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            try {
                schedule.Tick();
            } catch (const Exception &e) {
                ++errors[e.Message()];
                schedule.CurrentIndex = (schedule.CurrentIndex + 1) % int32_t(pictures.size() * 5);
            }
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            if (i == 100)
                rssAt100 = ResidentKilobytes();
        }
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long rssEnd = ResidentKilobytes();
        std::sort(times.begin(), times.end());
        std::printf("time per change: mean %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms (total %.1f s)\n",
                    total * 1000 / changes, times[times.size() / 2], times[times.size() * 99 / 100], times.back(),
                    total);
        std::printf("resident memory: before the first change %ld kB\n", rssBefore);
        std::printf("resident memory: after 100 changes %ld kB, after %d changes %ld kB (growth %+ld kB)\n", rssAt100,
                    changes, rssEnd, rssEnd - rssAt100);
        for (const auto &[message, count] : errors)
            std::printf("error x%d: %s\n", count, message.c_str());
        if (!errors.empty())
            status = 1;
        if (changes >= 1000 && rssEnd - rssAt100 > 5L * 1024) {
            std::printf("FAIL: resident memory grew by more than 5 MB\n");
            status = 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_soak: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    return status;
}
