// Creating a folder with every missing parent: the data folder at start-up, the settings file's
// folder, and an output folder that is missing when a page is written.
#pragma once

#include <string>

// Creates the folder and every missing parent; true when the folder exists afterwards.
bool ForceDirectories(const std::string &path);
