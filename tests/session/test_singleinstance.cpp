#include "platform/session/SingleInstance.h"

#include "TempHome.h"

#include <gtest/gtest.h>

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstReleases)
{
    TempHome home;
    const std::string lock = home.File("PgTapisto.lock");
    SingleInstance first(lock);
    SingleInstance second(lock);
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_FALSE(second.Held());
    first.Release();
    EXPECT_TRUE(second.TryAcquire());
}

TEST(SingleInstance, DestructionReleases)
{
    TempHome home;
    const std::string lock = home.File("PgTapisto.lock");
    {
        SingleInstance first(lock);
        ASSERT_TRUE(first.TryAcquire());
    }
    SingleInstance again(lock);
    EXPECT_TRUE(again.TryAcquire());
}

TEST(SingleInstance, LockPathFollowsTheRuntimeFolder)
{
    const char *old = std::getenv("XDG_RUNTIME_DIR");
    std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
    EXPECT_EQ("/run/user/1234/PgTapisto.lock", SingleInstanceLockPath("PgTapisto"));
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(0u, SingleInstanceLockPath("PgTapisto").rfind("/tmp/PgTapisto-", 0));
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}
