// What the station makes of a folder text before pages are bound for it: a folder that can never
// take a page is said at once, and a value read from config.ini is taken only as a folder.
#pragma once

#include <functional>
#include <string>

// True when a drive letter ('A'..'Z') names a drive of this machine.
using TDriveExists = std::function<bool(char drive)>;
bool DriveLetterExists(char drive);

// What the station makes of a folder the person gives: taken or not, and what to say about it.
struct TFolderCheck {
  bool Taken = true; // pages may be named into it
  // Why it is not taken, or why its pages will wait (a drive that is not there now); empty when
  // all is well.
  std::string Says;
};

// A folder is taken when pages can be written into it now or later: a whole path on a drive or a
// share, with names a folder may have, that is a folder or can be made one (no file stands in its
// place or in a parent's). A drive letter with no drive behind it now is taken (a USB stick or a
// mapped drive comes back), and said. No drive is looked for when `driveExists` is empty. With
// blank sides set aside, the path leaves room for the folder Blank inside it.
TFolderCheck CheckFolder(const std::string &folder, const TDriveExists &driveExists = DriveLetterExists,
                         bool blankSidesAside = false);

// A text that names a folder on a drive or a share, as CheckFolder takes it: no device path
// ("\\.\", "\\?\"), device name, relative path, name ending in a space or a dot, or file.
bool IsFolderPath(const std::string &text);
