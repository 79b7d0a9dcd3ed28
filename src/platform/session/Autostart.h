#pragma once

#include <string>
#include <vector>

// The per-user entry that starts a program when the user logs in (the Startup folder's shell link
// on the original platform). Paths and names are CP932, as the program holds them.
class Autostart {
public:
    virtual ~Autostart() = default;
    // create: writes the entry `name` that starts programPath in workingFolder, replacing an
    // older one of that name. Otherwise removes it; a missing entry is no error. Raises
    // EInOutError (or EEncodingError) when the entry cannot be written or removed.
    virtual void Set(bool create, const std::string &name, const std::string &programPath,
                     const std::string &workingFolder) = 0;
};

// Desktop entries in the XDG autostart folder: <folder>/<name>.desktop.
class XdgAutostart : public Autostart {
public:
    // folder: UTF-8, normally AutostartFolder().
    explicit XdgAutostart(std::string folder) : folder_(std::move(folder)) {}
    void Set(bool create, const std::string &name, const std::string &programPath,
             const std::string &workingFolder) override;
    // The UTF-8 path of the entry file for a name.
    std::string EntryPath(const std::string &name) const;

private:
    std::string folder_;
};

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
std::string AutostartFolder();

// The text of a desktop entry (UTF-8 arguments) that runs programPath in workingFolder.
std::string DesktopEntryText(const std::string &name, const std::string &programPath, const std::string &workingFolder);
