// opening, enabling, disabling and closing a source; its notifications.
#include "TwainTestSupport.h"

using namespace rdsm;

TEST_F(TwainFixture, OpenSendsOpenDsOnceAndCountsTheSourceOnce) {
  Connect(2);
  TTwainSource *source = twain->Source(1);
  Dsm().ClearCalls();
  EXPECT_TRUE(source->Open());
  EXPECT_TRUE(source->Open());
  EXPECT_EQ(Trace(), StringList{"CONTROL/IDENTITY/OPENDS"});
  const TRecordedCall &call = Dsm().Calls()[0];
  EXPECT_EQ(call.origin, twain->AppIdentity());
  EXPECT_EQ(call.dest, nullptr);
  EXPECT_EQ(call.pData, source->IdentityRecord());
  EXPECT_TRUE(source->Loaded());
  EXPECT_EQ(twain->LoadedSourceCount, 1);
}

TEST_F(TwainFixture, FailedOpenChangesNothing) {
  Connect(1);
  Dsm().Queue(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, Rc(TWRC_FAILURE));
  TTwainSource *source = twain->Source(0);
  EXPECT_FALSE(source->Open());
  EXPECT_FALSE(source->Loaded());
  EXPECT_EQ(twain->LoadedSourceCount, 0);
}

TEST_F(TwainFixture, CloseAnEnabledSourceDisablesFirst) {
  LogEvents();
  TTwainSource *source = EnableSource();
  bool enabledInHandler = false;
  twain->OnSourceDisable = [&](TKestraTwain *, int index) {
    enabledInHandler = source->Enabled();
    events.push_back("disable " + std::to_string(index));
  };
  EXPECT_TRUE(source->Close());
  EXPECT_EQ(Trace(), (StringList{"CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS"}));
  EXPECT_EQ(Dsm().Calls()[0].dest, source->IdentityRecord());
  EXPECT_EQ(Dsm().Calls()[1].dest, nullptr);
  EXPECT_EQ(Dsm().Calls()[1].pData, source->IdentityRecord());
  EXPECT_EQ(events, StringList{"disable 0"});
  EXPECT_TRUE(enabledInHandler);
  EXPECT_FALSE(source->Enabled());
  EXPECT_FALSE(source->Loaded());
  EXPECT_EQ(twain->LoadedSourceCount, 0);
}

TEST_F(TwainFixture, CloseWhatIsNotOpenSendsNothing) {
  Connect(1);
  TTwainSource *source = twain->Source(0);
  Dsm().ClearCalls();
  EXPECT_TRUE(source->Close());
  EXPECT_TRUE(Dsm().Calls().empty());
}

TEST_F(TwainFixture, FailingCloseDsKeepsTheLoadedSourceCount) {
  TTwainSource *source = OpenSource();
  Dsm().Queue(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, Rc(TWRC_FAILURE));
  EXPECT_FALSE(source->Close());
  EXPECT_FALSE(source->Loaded());
  EXPECT_EQ(twain->LoadedSourceCount, 1);
  EXPECT_EQ(Trace(), StringList{"CONTROL/IDENTITY/CLOSEDS"});
}

TEST_F(TwainFixture, EnableSendsTrueAsFFFFAndTheHiddenWindowAsParent) {
  TTwainSource *source = OpenSource();
  EXPECT_TRUE(source->Enable(true, false));
  ASSERT_EQ(Trace(), (StringList{"CONTROL/CAPABILITY/SET", "CONTROL/USERINTERFACE/ENABLEDS"}));
  TW_USERINTERFACE ui = Dsm().Calls()[1].As<TW_USERINTERFACE>();
  EXPECT_EQ(ui.ShowUI, 0xFFFF);
  EXPECT_EQ(ui.ModalUI, 0);
  EXPECT_EQ(ui.hParent, twain->VirtualWindow());
  EXPECT_EQ(Dsm().Calls()[1].dest, source->IdentityRecord());
  EXPECT_EQ(Dsm().Calls()[1].origin, twain->AppIdentity());
  ASSERT_TRUE(source->Disable());
  Dsm().ClearCalls();
  EXPECT_TRUE(source->Enable(false, true));
  ui = Dsm().Calls()[1].As<TW_USERINTERFACE>();
  EXPECT_EQ(ui.ShowUI, 0);
  EXPECT_EQ(ui.ModalUI, 0xFFFF);
}

TEST_F(TwainFixture, EnableMarksTheSourceEnabledBeforeTheRequest) {
  TTwainSource *source = OpenSource();
  bool enabledDuringRequest = false;
  Dsm().onCall = [&](const TRecordedCall &call) {
    if (call.Is(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS))
      enabledDuringRequest = source->Enabled();
  };
  EXPECT_TRUE(source->Enable(false, false));
  EXPECT_TRUE(enabledDuringRequest);
}

TEST_F(TwainFixture, EnableAnsweredWithCheckStatusSucceeds) {
  TTwainSource *source = OpenSource();
  Dsm().Queue(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, Rc(TWRC_CHECKSTATUS));
  EXPECT_TRUE(source->Enable(false, false));
  EXPECT_TRUE(source->Enabled());
}

TEST_F(TwainFixture, EnableAnsweredWithFailureLeavesTheSourceDisabledAndCanBeRetried) {
  LogEvents();
  TTwainSource *source = OpenSource();
  Dsm().Queue(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, Rc(TWRC_FAILURE));
  EXPECT_FALSE(source->Enable(false, false));
  EXPECT_FALSE(source->Enabled());
  EXPECT_EQ(events, StringList{"error 0 1 0"}); // shown in the status line
  EXPECT_TRUE(source->Enable(false, false));
  EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS), 2u);
}

TEST_F(TwainFixture, EnableOnAClosedOrEnabledSourceSendsNothing) {
  Connect(1);
  TTwainSource *source = twain->Source(0);
  Dsm().ClearCalls();
  EXPECT_FALSE(source->Enable(true, true));
  EXPECT_TRUE(Dsm().Calls().empty());
  ASSERT_TRUE(source->Open());
  ASSERT_TRUE(source->Enable(true, true));
  Dsm().ClearCalls();
  EXPECT_TRUE(source->Enable(false, false));
  EXPECT_TRUE(Dsm().Calls().empty());
}

TEST_F(TwainFixture, WritingEnabledUsesTheStoredUserInterfaceFlags) {
  TTwainSource *source = OpenSource();
  source->SetEnabled(true);
  ASSERT_EQ(Trace(), (StringList{"CONTROL/CAPABILITY/SET", "CONTROL/USERINTERFACE/ENABLEDS"}));
  TW_USERINTERFACE ui = Dsm().Calls()[1].As<TW_USERINTERFACE>();
  EXPECT_EQ(ui.ShowUI, 0xFFFF);
  EXPECT_EQ(ui.ModalUI, 0xFFFF);
  source->SetEnabled(true); // unchanged: nothing
  source->SetEnabled(false);
  EXPECT_EQ(Trace(), (StringList{"CONTROL/CAPABILITY/SET", "CONTROL/USERINTERFACE/ENABLEDS",
                                 "CONTROL/USERINTERFACE/DISABLEDS"}));
  // Not open: nothing at all.
  source->Close();
  Dsm().ClearCalls();
  source->SetEnabled(true);
  EXPECT_TRUE(Dsm().Calls().empty());
}

TEST_F(TwainFixture, DisableRules) {
  LogEvents();
  TTwainSource *source = OpenSource();
  EXPECT_TRUE(source->Disable()); // not enabled: nothing sent
  EXPECT_TRUE(Dsm().Calls().empty());
  ASSERT_TRUE(source->Enable(false, false));
  Dsm().ClearCalls();
  // Refused every time it is tried: shown, and the source stays enabled (stranded in state 5).
  for (int i = 0; i < 3; ++i)
    Dsm().Queue(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, Rc(TWRC_FAILURE));
  EXPECT_FALSE(source->Disable());
  EXPECT_TRUE(source->Enabled());
  EXPECT_TRUE(source->Stranded());
  EXPECT_EQ(events, StringList{"error 0 1 0"});
  EXPECT_TRUE(source->Disable());
  EXPECT_FALSE(source->Enabled());
  EXPECT_FALSE(source->Stranded());
  EXPECT_EQ(events, (StringList{"error 0 1 0", "disable 0"}));
  const char *disable = "CONTROL/USERINTERFACE/DISABLEDS";
  EXPECT_EQ(Trace(), (StringList{disable, disable, disable, "CONTROL/STATUS/GET", disable}));
}

TEST_F(TwainFixture, CloseDsRequestRaisesCancelBeforeTheDisable) {
  LogEvents();
  TTwainSource *source = EnableSource();
  Dsm().onCall = [&](const TRecordedCall &call) {
    if (call.Is(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS))
      events.push_back("DISABLEDS sent");
  };
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_CLOSEDSREQ));
  MSG msg = {};
  msg.hwnd = twain->VirtualWindow();
  msg.message = WM_USER + 5;
  EXPECT_TRUE(source->ProcessEvent(msg));
  EXPECT_EQ(Trace(), (StringList{"CONTROL/EVENT/PROCESSEVENT", "CONTROL/USERINTERFACE/DISABLEDS"}));
  EXPECT_EQ(events, (StringList{"cancel 0", "DISABLEDS sent", "disable 0"}));
  EXPECT_FALSE(source->Enabled());
  EXPECT_TRUE(source->Loaded()); // the source stays open
  TW_EVENT sent = Dsm().Calls()[0].As<TW_EVENT>();
  EXPECT_EQ(sent.pEvent, &msg);
  EXPECT_EQ(sent.TWMessage, MSG_NULL);
  EXPECT_EQ(Dsm().Calls()[0].dest, source->IdentityRecord());
}

TEST_F(TwainFixture, NotDsEventIsNotTheSources) {
  LogEvents();
  TTwainSource *source = EnableSource();
  MSG msg = {};
  EXPECT_FALSE(source->ProcessEvent(msg)); // the recording manager answers TWRC_NOTDSEVENT
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_FAILURE, MSG_CLOSEDSREQ));
  EXPECT_FALSE(source->ProcessEvent(msg));
  EXPECT_EQ(Trace(), (StringList{"CONTROL/EVENT/PROCESSEVENT", "CONTROL/EVENT/PROCESSEVENT"}));
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(source->Enabled());
}

TEST_F(TwainFixture, OtherNotificationsAreClaimedAndIgnored) {
  LogEvents();
  TTwainSource *source = EnableSource();
  MSG msg = {};
  for (TW_UINT16 message : {MSG_CLOSEDSOK, MSG_DEVICEEVENT, MSG_NULL, TW_UINT16{0x7777}}) {
    Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, message));
    EXPECT_TRUE(source->ProcessEvent(msg));
  }
  EXPECT_EQ(Dsm().Calls().size(), 4u);
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(source->Enabled());
}

TEST_F(TwainFixture, ReadConditionCode) {
  Connect(1);
  TTwainSource *source = twain->Source(0);
  Dsm().ClearCalls();
  EXPECT_EQ(source->ReadConditionCode(), 0);
  EXPECT_TRUE(Dsm().Calls().empty()); // not open: no DAT_STATUS
  ASSERT_TRUE(source->Open());
  Dsm().ClearCalls();
  Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_PAPERJAM));
  EXPECT_EQ(source->ReadConditionCode(), TWCC_PAPERJAM);
  ASSERT_EQ(Trace(), StringList{"CONTROL/STATUS/GET"});
  EXPECT_EQ(Dsm().Calls()[0].dest, source->IdentityRecord());
  // A failing DAT_STATUS reads as success (the record is zeroed beforehand).
  Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, Rc(TWRC_FAILURE));
  EXPECT_EQ(source->ReadConditionCode(), TWCC_SUCCESS);
}

TEST_F(TwainFixture, AHandlerFailingOnCloseDsRequestStillDisables) {
  TTwainSource *source = EnableSource();
  twain->OnAcquireCancel = [](TKestraTwain *, int) { throw std::runtime_error("cancel handler"); };
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_CLOSEDSREQ));
  MSG msg = {};
  EXPECT_THROW(source->ProcessEvent(msg), std::runtime_error);
  EXPECT_FALSE(source->Enabled());
  EXPECT_EQ(Trace(), (StringList{"CONTROL/EVENT/PROCESSEVENT", "CONTROL/USERINTERFACE/DISABLEDS"}));
}
