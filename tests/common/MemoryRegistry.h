#pragma once

#include "platform/Registry.h"

#include <map>
#include <utility>

// The registry of a test: values in memory only.
class MemoryRegistry : public Registry {
public:
    std::optional<std::string> ReadString(const std::string &keyPath, const std::string &name) override
    {
        auto it = values_.find({keyPath, name});
        if (it == values_.end())
            return std::nullopt;
        return it->second;
    }
    void WriteString(const std::string &keyPath, const std::string &name, const std::string &value) override
    {
        values_[{keyPath, name}] = value;
    }

private:
    std::map<std::pair<std::string, std::string>, std::string> values_;
};
