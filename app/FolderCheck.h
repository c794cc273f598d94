// What the station makes of a folder text before pages are bound for it: a folder that can never
// take a page is said at once, and a value read from config.ini is taken only as a folder.
#pragma once

#include <functional>
#include <string>

// True when a drive letter ('A'..'Z') names a drive of this machine.
using TDriveExists = std::function<bool(char drive)>;
bool DriveLetterExists(char drive);

// Why no page could ever be written into the folder, in words for the status line; empty when
// pages may go there (an unreachable share or a full disk may still come back).
std::string FolderNeverWorks(const std::string &folder, const TDriveExists &driveExists = DriveLetterExists);

// A text that names a folder on a drive or a share: no device path ("\\.\", "\\?\") or device name.
bool IsFolderPath(const std::string &text);
