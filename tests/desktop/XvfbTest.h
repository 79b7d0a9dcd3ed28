#pragma once

#include "TempHome.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <string>

// A private Xvfb of 64 x 48 pixels and a home folder holding the bitmap the test shows, written by
// `WriteBitmap`; without Xvfb the test skips.
template <std::string (*WriteBitmap)(const TempHome &home)> class XvfbTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!server.Running())
            GTEST_SKIP() << "Xvfb is not installed or did not start; the X11 root-window backend is not tested";
        bitmap = WriteBitmap(home);
    }

    XvfbServer server;
    TempHome home;
    std::string bitmap;
};
