// tapistoctl: a small launcher that loads Qt only for work that needs it. A render of a picture
// whose rows can be read one by one (a JPEG, a plain BMP) for a given screen is made here with the
// Qt-free render core, so that it costs little more than decoding the picture; every other command
// line goes to the command library beside the executable (libtapistoctl.so), unchanged.
#include "cli/CliArgs.h"
#include "cli/CommandMain.h"
#include "listedit/WallPaperList.h"
#include "picture/StreamRender.h"
#include "platform/Exceptions.h"
#include "platform/TempFiles.h"
#include "platform/desktop/ScreenMetrics.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <dlfcn.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A render this launcher can make: one picture, one output, a known screen.
struct Render {
    std::string picture;
    std::string output;
    std::optional<std::string> correction;
    std::optional<std::string> screen;
};

// The render the command line asks for when it is that simple; nullopt for everything else, which
// the command library handles (and reports, for a wrong command line).
std::optional<Render> SimpleRender(int argc, char **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--home") {
            if (++i >= argc)
                return std::nullopt; // a usage error, which the library reports
            continue;                // only the step commands read the home folder
        }
        if (arg.rfind("--home=", 0) == 0)
            continue;
        if (arg == "--" || arg == "--help" || arg == "-h")
            return std::nullopt;
        args.push_back(arg);
    }
    if (args.empty() || args.front() != "render")
        return std::nullopt;
    Render render;
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--correction" && i + 1 < args.size())
            render.correction = args[++i];
        else if (args[i] == "--screen" && i + 1 < args.size())
            render.screen = args[++i];
        else if (args[i].rfind("--", 0) == 0)
            return std::nullopt; // --monitors, --plugins, or a mistake
        else
            positional.push_back(args[i]);
    }
    // Without --screen, the session's screen is asked of Qt.
    if (positional.size() != 2 || (!render.screen && HaveDisplay()))
        return std::nullopt;
    render.picture = positional[0];
    render.output = positional[1];
    return render;
}

// Renders with the core alone; nullopt when the picture needs the general path (another format, an
// enlarged picture) or the arguments are not plain, having written nothing.
std::optional<int> RenderWithoutQt(const Render &render)
{
    std::string picture, output;
    int32_t correction = -1;
    std::pair<int, int> screen = kDefaultScreenSize;
    try {
        picture = ArgPath(render.picture);
        output = ArgPath(render.output);
        if (render.correction)
            correction = DecodeCorrection(ArgText(*render.correction));
        if (render.screen)
            screen = ParseScreen(*render.screen);
    } catch (const std::exception &) {
        return std::nullopt; // the command library reports it as it always has
    }
    const StreamFormat format = BuiltInStreamFormat(picture);
    if (format == StreamFormat::None)
        return std::nullopt;
    try {
        const std::optional<TWallPaperSize> size =
            StreamWallPaper(picture, format, correction, screen.first, screen.second, output);
        if (!size)
            return std::nullopt;
        std::printf("%dx%d\n", size->Width, size->Height);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "tapistoctl: 標準出力に書き込めません: %s\n", ErrnoText(errno).c_str());
            return 1;
        }
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tapistoctl: %s\n", e.what());
        return 1;
    }
}

// The command library lives beside the executable that actually runs (a link in <prefix>/bin
// points at it). Loaded by absolute path, with its symbols kept to itself.
int RunCommandLibrary(int argc, char **argv)
{
    std::vector<char> self(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), PATH_MAX);
    std::string folder = n > 0 ? std::string(self.data(), size_t(n)) : std::string();
    folder.erase(folder.rfind('/') + 1);
    const std::string library = folder + kCommandLibrary;
    void *handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char **);
    auto entry = handle != nullptr ? reinterpret_cast<Entry>(::dlsym(handle, kCommandEntry)) : nullptr;
    if (entry == nullptr) {
        std::fprintf(stderr, "tapistoctl: %s を読み込めません: %s\n", library.c_str(), ::dlerror());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char **argv)
{
    RemoveTemporariesOnTermination();
    if (const std::optional<Render> render = SimpleRender(argc, argv))
        if (const std::optional<int> status = RenderWithoutQt(*render))
            return *status;
    return RunCommandLibrary(argc, argv);
}
