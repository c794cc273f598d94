#include "app/FolderCheck.h"

#include <windows.h>

#include <cctype>
#include <cstring>

namespace {

// The longest page name and its ".partial" file, after the folder and its separator.
constexpr size_t kLongestPageName = sizeof "\\Scan20261207093015123F.jpg.partial" - 1;

bool StartsWith(const std::string &text, const char *prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

std::string Upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder, with any extension.
bool IsDeviceName(const std::string &component) {
  std::string base = Upper(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ')
    base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
    return true;
  return base.size() == 4 && (StartsWith(base, "COM") || StartsWith(base, "LPT")) && base[3] >= '1' &&
         base[3] <= '9';
}

bool HasDriveLetter(const std::string &folder) {
  return folder.size() >= 2 && folder[1] == ':' && std::isalpha(static_cast<unsigned char>(folder[0]));
}

bool IsDevicePath(const std::string &text) {
  return StartsWith(text, "\\\\.\\") || StartsWith(text, "\\\\?\\") || StartsWith(text, "\\??\\") ||
         StartsWith(text, "//./") || StartsWith(text, "//?/");
}

// The text's characters and the names of its parts; empty when they are all a folder may have.
std::string NameProblem(const std::string &folder) {
  for (size_t i = 0; i < folder.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(folder[i]);
    if (c < 32 || strchr("<>\"|?*", c) || (c == ':' && !(i == 1 && HasDriveLetter(folder))))
      return "a folder name cannot hold the character " +
             (c < 32 ? std::string("of code ") + std::to_string(c) : std::string(1, static_cast<char>(c)));
  }
  size_t start = HasDriveLetter(folder) ? 2 : 0;
  while (start < folder.size()) {
    const size_t end = folder.find_first_of("\\/", start);
    const std::string component =
        folder.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (IsDeviceName(component))
      return component + " is the name of a device";
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  return std::string();
}

} // namespace

bool DriveLetterExists(char drive) {
  const int index = std::toupper(static_cast<unsigned char>(drive)) - 'A';
  return index >= 0 && index < 26 && (::GetLogicalDrives() & (1u << index)) != 0;
}

std::string FolderNeverWorks(const std::string &folder, const TDriveExists &driveExists) {
  if (folder.empty())
    return std::string();
  if (IsDevicePath(folder))
    return "it is a device, not a folder";
  std::string problem = NameProblem(folder);
  if (!problem.empty())
    return problem;
  if (folder.size() + kLongestPageName >= MAX_PATH)
    return "the path is too long for the page files";
  if (HasDriveLetter(folder) && driveExists && !driveExists(static_cast<char>(std::toupper(folder[0]))))
    return std::string("there is no drive ") + static_cast<char>(std::toupper(folder[0])) + ":";
  return std::string();
}

bool IsFolderPath(const std::string &text) {
  return !text.empty() && !IsDevicePath(text) && NameProblem(text).empty();
}
