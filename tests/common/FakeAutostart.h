#pragma once

#include "platform/session/Autostart.h"

#include <string>
#include <vector>

// Records the calls instead of writing desktop entries.
class FakeAutostart : public Autostart {
public:
    struct Call {
        bool create;
        std::string name, programPath, workingFolder;
    };
    void Set(bool create, const std::string &name, const std::string &programPath,
             const std::string &workingFolder) override
    {
        calls.push_back({create, name, programPath, workingFolder});
    }
    std::vector<Call> calls;
};
