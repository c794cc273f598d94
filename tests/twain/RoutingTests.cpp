// the hidden window and the routing of its messages to the sources.
#include "TwainTestSupport.h"

#include "twain/VirtualWindow.h"

#include <stdexcept>

using namespace rdsm;

namespace {

// Length of the hidden window's title, which DefWindowProcA answers to WM_GETTEXTLENGTH.
constexpr LRESULT kTitleLength = sizeof("Kestra Twain virtual window") - 1;

} // namespace

TEST_F(TwainFixture, NoSourceOpenMeansNoEnumerationAndDefWindowProc) {
  Connect(2); // listed by the source manager, but not enumerated yet
  Dsm().ClearCalls();
  EXPECT_EQ(::SendMessageA(twain->VirtualWindow(), WM_GETTEXTLENGTH, 0, 0), kTitleLength);
  ::SendMessageA(twain->VirtualWindow(), WM_USER + 1, 0, 0);
  EXPECT_TRUE(Dsm().Calls().empty());
  EXPECT_FALSE(twain->SourcesEnumerated());
}

TEST_F(TwainFixture, OpenButNotEnabledIsNeverOffered) {
  OpenSource(2);
  EXPECT_EQ(::SendMessageA(twain->VirtualWindow(), WM_GETTEXTLENGTH, 0, 0), kTitleLength);
  EXPECT_TRUE(Dsm().Calls().empty());
}

TEST_F(TwainFixture, TwoEnabledSourcesAreOfferedInListOrder) {
  Connect(3);
  TTwainSource *first = twain->Source(0);
  TTwainSource *third = twain->Source(2);
  for (TTwainSource *source : {first, third}) {
    ASSERT_TRUE(source->Open());
    ASSERT_TRUE(source->Enable(false, false));
  }
  Dsm().ClearCalls();
  // The first claims the message: the second never sees it.
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_NULL));
  EXPECT_EQ(::SendMessageA(twain->VirtualWindow(), WM_GETTEXTLENGTH, 0, 0), 0);
  ASSERT_EQ(Trace(), StringList{"CONTROL/EVENT/PROCESSEVENT"});
  EXPECT_EQ(Dsm().Calls()[0].dest, first->IdentityRecord());
  // The first declines, the second claims.
  Dsm().ClearCalls();
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_NOTDSEVENT, MSG_NULL));
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_NULL));
  EXPECT_EQ(::SendMessageA(twain->VirtualWindow(), WM_GETTEXTLENGTH, 0, 0), 0);
  ASSERT_EQ(Trace(), (StringList{"CONTROL/EVENT/PROCESSEVENT", "CONTROL/EVENT/PROCESSEVENT"}));
  EXPECT_EQ(Dsm().Calls()[0].dest, first->IdentityRecord());
  EXPECT_EQ(Dsm().Calls()[1].dest, third->IdentityRecord());
}

TEST_F(TwainFixture, UnclaimedMessagesGoToDefWindowProc) {
  EnableSource(2);
  EXPECT_EQ(::SendMessageA(twain->VirtualWindow(), WM_GETTEXTLENGTH, 0, 0), kTitleLength);
  EXPECT_EQ(Trace(), StringList{"CONTROL/EVENT/PROCESSEVENT"});
}

TEST_F(TwainFixture, TheMessageRecordCarriesWhatWasReceived) {
  EnableSource();
  MSG seen = {};
  Dsm().onCall = [&](const TRecordedCall &call) {
    if (call.Is(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT))
      seen = *static_cast<const MSG *>(call.As<TW_EVENT>().pEvent);
  };
  ::SendMessageA(twain->VirtualWindow(), WM_USER + 42, 0x1234, 0x5678);
  EXPECT_EQ(seen.hwnd, twain->VirtualWindow());
  EXPECT_EQ(seen.message, static_cast<UINT>(WM_USER + 42));
  EXPECT_EQ(seen.wParam, 0x1234u);
  EXPECT_EQ(seen.lParam, 0x5678);
  POINT cursor;
  ::GetCursorPos(&cursor);
  EXPECT_EQ(seen.pt.x, cursor.x);
  EXPECT_EQ(seen.pt.y, cursor.y);
}

TEST_F(TwainFixture, PostedNotificationReachesTheSourceThroughTheMessageLoop) {
  LogEvents();
  EnableSource();
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_CLOSEDSREQ));
  ASSERT_TRUE(::PostMessageA(twain->VirtualWindow(), WM_USER + 7, 0, 0));
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    ::DispatchMessageA(&msg);
  EXPECT_EQ(events, (StringList{"cancel 0", "disable 0"}));
}

TEST_F(TwainFixture, AHandlersExceptionIsParkedForTheMessageLoop) {
  TTwainSource *source = EnableSource();
  twain->OnSourceDisable = [](TKestraTwain *, int) { throw std::runtime_error("from a handler"); };
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_CLOSEDSREQ));
  EXPECT_EQ(::SendMessageA(twain->VirtualWindow(), WM_USER + 3, 0, 0), 0);
  EXPECT_FALSE(source->Enabled());
  try {
    RethrowParkedTwainException();
    FAIL() << "nothing was parked";
  } catch (const std::runtime_error &error) {
    EXPECT_STREQ(error.what(), "from a handler");
  }
  EXPECT_EQ(TakeParkedTwainException(), nullptr); // taken once
  RethrowParkedTwainException();                  // nothing parked: nothing thrown
}
