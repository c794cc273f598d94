// Small helpers of the station that ask the system for paths.
#pragma once

#include "writer/FolderChain.h"

#include <string>

// Path of a shell special folder (CSIDL_...), or an empty text when the lookup fails.
std::string GetSpecialFolderPath(int folderId);

// The path with one trailing backslash; an empty path becomes a lone backslash.
std::string IncludeTrailingPathDelimiter(const std::string &path);

// The executable's name up to its first full stop, first character as is, the rest lower case:
// the title of the station's message boxes.
std::string ApplicationTitle();
