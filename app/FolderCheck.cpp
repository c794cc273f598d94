#include "app/FolderCheck.h"

#include <windows.h>

#include <cctype>
#include <cstring>

namespace {

// The longest page name and its ".partial" file, after the folder and its separator.
constexpr size_t kLongestPageName = sizeof "\\Scan20261207093015123F.jpg.partial" - 1;
// Where blank sides go when they are set aside.
constexpr size_t kBlankFolder = sizeof "\\Blank" - 1;

bool StartsWith(const std::string &text, const char *prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

std::string Upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9, and COM and LPT with a superscript 1, 2 or 3 (the ANSI
// code page's 0xB9, 0xB2, 0xB3), name devices in every folder, with any extension.
bool IsDeviceName(const std::string &component) {
  std::string base = Upper(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ')
    base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
    return true;
  return base.size() == 4 && (StartsWith(base, "COM") || StartsWith(base, "LPT")) &&
         ((base[3] >= '0' && base[3] <= '9') || strchr("\xB9\xB2\xB3", base[3]));
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

// A path that says where it starts: "C:\..." (or "C:" alone, the drive's root as pages are named)
// or "\\server\share...". Else the empty text, or why not.
std::string RelativeProblem(const std::string &folder) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (HasDriveLetter(folder) && (folder.size() == 2 || separator(folder[2])))
    return std::string();
  if (folder.size() > 2 && separator(folder[0]) && separator(folder[1])) {
    const size_t share = folder.find_first_of("\\/", 2);
    if (share != std::string::npos && share > 2 && share + 1 < folder.size() && !separator(folder[share + 1]))
      return std::string();
    return "a network path needs a share";
  }
  return "give a whole path like C:\\Scans";
}

// Windows drops a trailing space or dot from a name: the folder written would not be the one given.
std::string TrailingProblem(const std::string &folder) {
  size_t start = HasDriveLetter(folder) ? 2 : 0;
  while (start < folder.size()) {
    size_t end = folder.find_first_of("\\/", start);
    if (end == std::string::npos)
      end = folder.size();
    const std::string component = folder.substr(start, end - start);
    if (component == "." || component == "..")
      return "the path cannot hold . or ..";
    if (!component.empty() && (component.back() == ' ' || component.back() == '.'))
      return "a name ends in a space or a dot";
    start = end + 1;
  }
  return std::string();
}

// Where the path's root ends: after "C:", or after "\\\\server\\share".
size_t RootLength(const std::string &folder) {
  if (HasDriveLetter(folder))
    return 2;
  const size_t share = folder.find_first_of("\\/", 2);
  const size_t end = share == std::string::npos ? share : folder.find_first_of("\\/", share + 1);
  return end == std::string::npos ? folder.size() : end;
}

// A folder is there, or can be made: the nearest part of the path that is there is a folder. A
// path of which nothing is there now (a drive or a share away) is left to the drive's check.
std::string FileProblem(const std::string &folder) {
  std::string path = folder;
  while (path.size() > RootLength(folder) + 1 && (path.back() == '\\' || path.back() == '/'))
    path.pop_back();
  for (bool whole = true;; whole = false) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::string();
      return whole ? "it is a file, not a folder"
                   : path.substr(path.find_last_of("\\/") + 1) + " is a file, not a folder";
    }
    const size_t cut = path.find_last_of("\\/");
    const size_t parent = cut == RootLength(folder) && HasDriveLetter(folder) ? cut + 1 : cut; // "C:\"
    if (cut == std::string::npos || cut < RootLength(folder) || parent >= path.size())
      return std::string();
    path.resize(parent);
  }
}

} // namespace

bool DriveLetterExists(char drive) {
  const int index = std::toupper(static_cast<unsigned char>(drive)) - 'A';
  return index >= 0 && index < 26 && (::GetLogicalDrives() & (1u << index)) != 0;
}

TFolderCheck CheckFolder(const std::string &folder, const TDriveExists &driveExists, bool blankSidesAside) {
  if (folder.empty())
    return {}; // pages wait until a folder is given
  std::string refusal;
  if (IsDevicePath(folder))
    refusal = "it is a device, not a folder";
  if (refusal.empty())
    refusal = NameProblem(folder);
  if (refusal.empty())
    refusal = RelativeProblem(folder);
  if (refusal.empty())
    refusal = TrailingProblem(folder);
  if (refusal.empty() && folder.size() + kLongestPageName >= MAX_PATH)
    refusal = "the path is too long for the page files";
  if (refusal.empty() && blankSidesAside && folder.size() + kBlankFolder + kLongestPageName >= MAX_PATH)
    refusal = "the path is too long for the folder Blank inside it";
  if (refusal.empty())
    refusal = FileProblem(folder);
  if (!refusal.empty())
    return {false, refusal};
  if (HasDriveLetter(folder) && driveExists && !driveExists(static_cast<char>(std::toupper(folder[0]))))
    return {true, std::string("the drive ") + static_cast<char>(std::toupper(folder[0])) +
                      ": is away, pages wait for it"};
  return {};
}

bool IsFolderPath(const std::string &text) { return !text.empty() && CheckFolder(text, nullptr).Taken; }
