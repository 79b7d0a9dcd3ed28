#pragma once

#include "SpiTestSupport.h"

#include "MemoryRegistry.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// A fixture for the tests that load pictures through plug-ins: a home folder with an empty plug-in
// folder, the host over it once the test's plug-ins are installed, and the plug-in-backed picture
// class withdrawn after each test so that the next one starts with the built-in formats.
class PluginHostTest : public ::testing::Test {
protected:
    PluginHostTest() : folder(MakePluginFolder(home)) {}
    void TearDown() override { WithdrawSPIBitmapClass(); }

    // Makes `spis` search the plug-in folder; the test stops unless it found `count` plug-ins.
    void SearchPlugins(int count)
    {
        spis = std::make_unique<TSPIs>(registry);
        spis->Search(folder + "*.spi");
        ASSERT_EQ(count, spis->Count());
    }
    // Writes `bytes` as `name` in the home folder and returns its path.
    std::string Write(const std::string &name, const std::string &bytes)
    {
        WriteFileBytes(home.File(name), bytes);
        return home.File(name);
    }

    TempHome home;
    std::string folder;
    MemoryRegistry registry;
    std::unique_ptr<TSPIs> spis;
};
