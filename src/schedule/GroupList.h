#pragma once

#include <string>
#include <vector>

// The wallpaper groups of a folder: the names (CP932, no folder) of its plain files whose
// extension is ".dat" in any ASCII letter case, in the folder enumeration's order. Folders are
// skipped; a missing or unreadable folder gives no groups.
std::vector<std::string> ListGroupFiles(const std::string &folder);

// Whether text equals one of the names byte for byte (letter case counts).
bool IsListedGroup(const std::string &text, const std::vector<std::string> &names);
