// Directory lookups that locate TWAIN_32.DLL, and the TW_FIX32 conversion.
// Texts are 8-bit strings; positions are 1-based.
#pragma once

#include "twain/TwainRecords.h"

#include <cstdint>
#include <string>

// Directories searched for the source manager, in search order.
enum TDirectoryKind : uint8_t { dkWindows, dkSystem, dkCurrent, dkApplication, dkTemp };

// 1-based position of the last character of `text` that is one of `delimiters`; the text's
// length when none is (0 for an empty text).
int LastDelimiterPos(const std::string &text, const std::string &delimiters);

// The path up to and including its last backslash or colon; a path with neither is returned whole.
std::string ExtractDirectory(const std::string &path);

// True when a file-system search (FindFirstFileA) for `path` finds an entry (file or directory).
bool FileExistsAt(const std::string &path);

// Appends "\" unless the text already ends in one. An empty text stays empty (a failed lookup
// has no directory to complete).
void AppendBackslash(std::string &path);

// The directory's path, ending in a backslash; empty when the platform lookup fails.
std::string GetKnownDirectory(TDirectoryKind kind);

// The first directory in TDirectoryKind order that holds TWAIN_32.DLL (with its backslash), or
// the empty text. Directories whose lookup fails are skipped.
std::string FindTwainDirectory();

// Whole + Frac / 65536 of a TW_FIX32 passed as a 32-bit value (Whole in the low 16 bits, Frac in
// the high 16 bits).
long double Fix32AsFloat(uint32_t value);
long double Fix32AsFloat(TW_FIX32 value);
