// Which of the installed TWAIN sources the station uses: the first whose product name
// contains "KV-S", in any mix of upper and lower case.
#pragma once

#include <functional>
#include <string>

bool IsCompatibleScanner(const std::string &productName);

// Index of the first compatible source among count, asking for names in list order and no
// further than the first match; -1 when there is none.
int FirstCompatibleScanner(int count, const std::function<std::string(int index)> &productName);
