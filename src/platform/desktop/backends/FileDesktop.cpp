#include "platform/desktop/backends/DesktopBackends.h"

namespace {

// Headless use and tests: the bitmap and the registry value are all there is.
class FileDesktop : public Desktop {
public:
    const char *Name() const override { return "file"; }
    void setWallpaper(const std::string &, TileMode) override {}
    // Spanned, so the per-monitor change is exercised headless too.
    PerMonitorMethod PerMonitor() const override { return PerMonitorMethod::Spanned; }
    void setMonitorWallpapers(const std::string &, const MonitorLayout &, const std::vector<std::string> &) override {}
};

} // namespace

std::unique_ptr<Desktop> CreateFileDesktop()
{
    return std::make_unique<FileDesktop>();
}
