// The 17-digit time stamp in a page's file name, "yyyymmddhhmmsszzz", and the millisecond steps
// the station takes when a name is already used.
#pragma once

#include <windows.h>

#include <string>

// "yyyymmddhhmmsszzz": 17 digits, zero-padded.
std::string FormatPageStamp(const SYSTEMTIME &stamp);

// Milliseconds since 1601 and back; false for a date the system cannot convert.
bool StampToMilliseconds(const SYSTEMTIME &stamp, ULONGLONG &ms);
SYSTEMTIME StampFromMilliseconds(ULONGLONG ms);

// The same file name one millisecond later when its last component has the form
// "Scan" + 17-digit stamp + side + extension; empty when it has not.
std::string PageNameOneMillisecondLater(const std::string &fileName);
