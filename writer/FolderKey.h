// One folder, however it is written: with or without its trailing separator, with forward or
// back slashes, in any case. "E:\" from the folder picker is the folder of the page "E:\Scan….jpg",
// whose folder part is "E:".
#pragma once

#include <string>

// The folder in one form for comparing: backslashes, runs of separators as one (the two that
// begin a network path kept), no trailing separator, upper case.
std::string FolderKey(const std::string &folder);
