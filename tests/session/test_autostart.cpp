#include "platform/session/Autostart.h"

#include "platform/Encoding.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(Autostart, TickUntickTickLeavesExactlyOneEntry)
{
    TempHome home;
    const std::string folder = home.File("config/autostart"); // created on the first tick
    XdgAutostart autostart(folder);
    autostart.Set(true, "Tapisto", "/opt/tapisto/tapisto", "/opt/tapisto/");
    const std::string entry = folder + "/Tapisto.desktop";
    ASSERT_TRUE(std::filesystem::exists(entry));
    autostart.Set(false, "Tapisto", "/opt/tapisto/tapisto", "/opt/tapisto/");
    EXPECT_FALSE(std::filesystem::exists(entry));
    autostart.Set(false, "Tapisto", "/opt/tapisto/tapisto", "/opt/tapisto/"); // already gone: no error
    autostart.Set(true, "Tapisto", "/opt/tapisto/tapisto", "/opt/tapisto/");
    size_t files = 0;
    for (const auto &e : std::filesystem::directory_iterator(folder)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(1u, files);
    const std::string text = ReadFileBytes(entry);
    EXPECT_NE(std::string::npos, text.find("Exec=\"/opt/tapisto/tapisto\"\n"));
    EXPECT_NE(std::string::npos, text.find("Path=/opt/tapisto/\n"));
    EXPECT_NE(std::string::npos, text.find("Name=Tapisto\n"));
}

TEST(Autostart, ExecQuotesBlanksAndReservedCharacters)
{
    const std::string text = DesktopEntryText("Tapisto", "/home/a b/50%$x\\y", "/home/a b/");
    // Quoting escapes $ and \, then the value escape doubles the backslashes again; % is doubled.
    EXPECT_NE(std::string::npos, text.find("Exec=\"/home/a b/50%%\\\\$x\\\\\\\\y\"\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Path=/home/a b/\n"));
}

TEST(Autostart, Cp932PathsAreWrittenAsUtf8)
{
    TempHome home;
    XdgAutostart autostart(home.File("auto"));
    const std::string program = Utf8ToCp932("/home/u/壁紙/tapisto");
    autostart.Set(true, "Tapisto", program, Utf8ToCp932("/home/u/壁紙/"));
    const std::string text = ReadFileBytes(home.File("auto/Tapisto.desktop"));
    EXPECT_NE(std::string::npos, text.find("Exec=\"/home/u/壁紙/tapisto\""));
}
