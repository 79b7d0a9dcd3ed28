#pragma once

#include <optional>
#include <string>

// The current user's registry: string values under key paths such as "Control Panel\desktop".
// Key paths and values are CP932 text. Implementations: IniRegistry (registry.ini in the user's
// config folder) for the program; tests keep theirs in memory.
class Registry {
public:
    virtual ~Registry() = default;
    // The value, or nothing when the key or the value does not exist. Never creates the key.
    virtual std::optional<std::string> ReadString(const std::string &keyPath, const std::string &name) = 0;
    // Creates the key when needed. Raises EInOutError when the value cannot be stored.
    virtual void WriteString(const std::string &keyPath, const std::string &name, const std::string &value) = 0;
};
