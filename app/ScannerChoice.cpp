#include "app/ScannerChoice.h"

#include <cctype>

bool IsCompatibleScanner(const std::string &productName) {
  std::string upper = productName;
  for (char &c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find("KV-S") != std::string::npos;
}

int FirstCompatibleScanner(int count, const std::function<std::string(int index)> &productName) {
  for (int i = 0; i < count; ++i)
    if (IsCompatibleScanner(productName(i)))
      return i;
  return -1;
}
