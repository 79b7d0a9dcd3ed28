#include "TempHome.h"
#include "ini/IniRegistry.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

TEST(IniRegistry, ValuesLiveInOneSectionPerKeyPath)
{
    TempHome home;
    const std::string path = home.File("registry.ini");
    IniRegistry registry(path);
    EXPECT_FALSE(registry.ReadString("Control Panel\\desktop", "TileWallpaper"));
    EXPECT_FALSE(FileExists(path));

    registry.WriteString("Control Panel\\desktop", "TileWallpaper", "1");
    registry.WriteString("Software\\Viewer", "Path", "");
    registry.WriteString("control panel\\Desktop", "tilewallpaper", "2");
    EXPECT_EQ("[Control Panel\\desktop]\r\ntilewallpaper=2\r\n\r\n[Software\\Viewer]\r\nPath=\r\n\r\n",
              ReadFileBytes(path));

    // A second instance sees the first one's writes; an empty value is not an absent one.
    IniRegistry other(path);
    EXPECT_EQ("2", other.ReadString("CONTROL PANEL\\DESKTOP", "TileWallpaper").value_or("absent"));
    EXPECT_EQ("", other.ReadString("Software\\Viewer", "Path").value_or("absent"));
    EXPECT_FALSE(other.ReadString("Software\\Viewer", "Other"));
    EXPECT_THROW(other.WriteString("Software\\Viewer", "", "x"), EInOutError);
}

TEST(IniRegistry, DefaultPlaceIsInTheUserConfigFolder)
{
    TempHome home;
    const char *old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", (home.Path() + "config").c_str(), 1);
    EXPECT_EQ(home.Path() + "config/tapisto/registry.ini", DefaultRegistryPath());
    CreateUserRegistry()->WriteString("K", "n", "v");
    EXPECT_EQ("[K]\r\nn=v\r\n\r\n", ReadFileBytes(home.Path() + "config/tapisto/registry.ini"));
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
