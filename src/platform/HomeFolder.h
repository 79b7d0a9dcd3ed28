#pragma once

#include <optional>
#include <string>

// The "program's folder" where Tapisto.ini and the groups (*.dat) live, in CP932 and ending in a
// separator: $TAPISTO_HOME when set; otherwise the executable's folder when it is writable;
// otherwise $XDG_CONFIG_HOME/tapisto (~/.config/tapisto), created on first use.

struct HomeFolderInputs {
    std::optional<std::string> tapistoHome; // $TAPISTO_HOME (UTF-8)
    std::string executableFolder;           // UTF-8, may be empty
    bool executableFolderWritable = false;
    std::optional<std::string> xdgConfigHome; // $XDG_CONFIG_HOME
    std::optional<std::string> userHome;      // $HOME
};

// The rule itself, free of the environment: returns a UTF-8 folder ending in '/'.
std::string ChooseHomeFolder(const HomeFolderInputs &inputs);

// The real one, from the environment; creates the XDG folder when it is chosen. CP932.
std::string HomeFolder();
// Overrides the environment for this process (tapistoctl --home).
void SetHomeFolderOverride(const std::string &utf8Folder);

// The resolved path of the running executable and its folder (with separator), UTF-8.
std::string ExecutablePath();
std::string ExecutableFolder();
// $XDG_CONFIG_HOME or ~/.config, UTF-8 without trailing separator.
std::string UserConfigFolder();
