#include "app/ThreadText.h"

#include <utility>

void TThreadText::Post(const std::string &text) {
  {
    win::Lock lock(Guard);
    Text = text;
  }
  ::PostMessageA(Window, Message, 0, 0);
}

std::string TThreadText::Take() {
  win::Lock lock(Guard);
  return std::exchange(Text, std::string());
}
