#pragma once

#include "platform/Registry.h"

#include <memory>

// The current user's registry kept in an INI file: one section per key path, one entry per value.
// Every call opens the file anew, so separate processes see each other's writes.
class IniRegistry : public Registry {
public:
    explicit IniRegistry(std::string cp932FilePath) : filePath_(std::move(cp932FilePath)) {}

    std::optional<std::string> ReadString(const std::string &keyPath, const std::string &name) override;
    void WriteString(const std::string &keyPath, const std::string &name, const std::string &value) override;

    const std::string &FilePath() const { return filePath_; }

private:
    std::string filePath_;
};

// registry.ini in UserConfigFolder()/tapisto/ (the folder is created when missing).
std::string DefaultRegistryPath();
std::unique_ptr<Registry> CreateUserRegistry();
