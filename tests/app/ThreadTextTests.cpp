// Texts handed from the writer's thread to the window's thread.
#include "app/ThreadText.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr UINT kTextMessage = WM_APP + 7;

// Pumps this thread's messages until kTextMessage arrives for window; false after 30 s.
bool WaitForTextMessage(HWND window) {
  const DWORD start = ::GetTickCount();
  MSG msg;
  while (::GetTickCount() - start < 30000) {
    while (::PeekMessageA(&msg, window, 0, 0, PM_REMOVE))
      if (msg.message == kTextMessage)
        return true;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
  }
  return false;
}

TEST(ThreadText, NewestTextReachesTheWindowThread) {
  win::UniqueWindow window(::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                             ::GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(window);
  TThreadText text(window.get(), kTextMessage);

  std::thread writer([&] {
    text.Post("Not saved: C:\\Out\\Scan1F.jpg: disk full");
    text.Post("Not saved: C:\\Out\\Scan1B.jpg: disk full");
  });
  writer.join();

  ASSERT_TRUE(WaitForTextMessage(window.get()));
  EXPECT_EQ(text.Take(), "Not saved: C:\\Out\\Scan1B.jpg: disk full");
  ASSERT_TRUE(WaitForTextMessage(window.get())); // the second announcement finds nothing new
  EXPECT_EQ(text.Take(), "");
}

} // namespace
