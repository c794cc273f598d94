// The 17-digit time stamp in a page's file name, "yyyymmddhhmmsszzz", and the millisecond steps
// the station takes when a name is already used.
#pragma once

#include <windows.h>

#include <string>

// "yyyymmddhhmmsszzz": 17 digits, zero-padded.
std::string FormatPageStamp(const SYSTEMTIME &stamp);

// Reads a 17-digit stamp; false for anything else.
bool ParsePageStamp(const std::string &digits, SYSTEMTIME &stamp);

// Milliseconds since 1601 and back; false for a date the system cannot convert.
bool StampToMilliseconds(const SYSTEMTIME &stamp, ULONGLONG &ms);
SYSTEMTIME StampFromMilliseconds(ULONGLONG ms);

// The same file name one millisecond later when its last component has the form
// "Scan" + 17-digit stamp + side + extension; empty when it has not.
std::string PageNameOneMillisecondLater(const std::string &fileName);

// The side letter of such a name, 'F' or 'B'; 0 for a name of another form.
char PageNameSide(const std::string &fileName);
// The same name with the other side's letter ("…F.jpg" and "…B.jpg"); empty for another form.
std::string PageNameOfOtherSide(const std::string &fileName);
