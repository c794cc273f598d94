// the manager, its identity, the pointer list and the directory utilities.
#include "TwainTestSupport.h"

#include "twain/KestraTwainUtils.h"
#include "twain/PointerList.h"
#include "twain/VirtualWindow.h"

#include <cstring>

using namespace rdsm;

namespace {

std::string Lower(std::string text) {
  for (char &c : text)
    c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  return text;
}

} // namespace

TEST_F(TwainFixture, NewManagerState) {
  TKestraTwain fresh;
  EXPECT_EQ(fresh.LoadedSourceCount, 0);
  EXPECT_EQ(fresh.TransferMode, ttmMemory);
  EXPECT_FALSE(fresh.LibraryLoaded());
  EXPECT_FALSE(fresh.SourceManagerLoaded());
  EXPECT_FALSE(fresh.SourcesEnumerated());
  EXPECT_EQ(fresh.LibraryHandle(), nullptr);
  EXPECT_EQ(fresh.DSMEntryProc(), nullptr);
  EXPECT_EQ(fresh.AppIdentity(), fresh.Info().Record());
  EXPECT_EQ(fresh.SourceList().Count, 0);
  EXPECT_EQ(fresh.SourceList().Capacity, 10);
  ASSERT_NE(fresh.VirtualWindow(), nullptr);
  char className[64] = {};
  ::GetClassNameA(fresh.VirtualWindow(), className, sizeof className);
  EXPECT_STREQ(className, "KESTRATWAIN_VIRTUALWINDOW");
  char title[64] = {};
  ::GetWindowTextA(fresh.VirtualWindow(), title, sizeof title);
  EXPECT_STREQ(title, "Kestra Twain virtual window");
  EXPECT_FALSE(::IsWindowVisible(fresh.VirtualWindow()));
  EXPECT_EQ(reinterpret_cast<TKestraTwain *>(::GetWindowLongPtrA(fresh.VirtualWindow(), GWLP_USERDATA)),
            &fresh);
  // Without a library nothing can be opened or listed.
  fresh.SetSourceManagerLoaded(true);
  EXPECT_FALSE(fresh.SourceManagerLoaded());
  EXPECT_EQ(fresh.SourceCount(), 0);
  EXPECT_EQ(fresh.Source(0), nullptr);
  EXPECT_EQ(fresh.Source(-1), nullptr);
  EXPECT_EQ(fresh.DefaultSourceIndex(), 0);
}

TEST_F(TwainFixture, TwoManagersShareTheWindowClass) {
  TKestraTwain second;
  EXPECT_NE(second.VirtualWindow(), nullptr);
  EXPECT_NE(second.VirtualWindow(), twain->VirtualWindow());
}

TEST_F(TwainFixture, ApplicationIdentityDefaults) {
  const TW_IDENTITY &r = *twain->AppIdentity();
  EXPECT_EQ(r.Id, 0u);
  EXPECT_EQ(r.Version.MajorNum, 1);
  EXPECT_EQ(r.Version.MinorNum, 0);
  EXPECT_EQ(r.Version.Language, 0xFFFF);
  EXPECT_EQ(r.Version.Country, 1);
  EXPECT_STREQ(r.Version.Info, "Application name");
  EXPECT_EQ(r.ProtocolMajor, 1);
  EXPECT_EQ(r.ProtocolMinor, 9);
  EXPECT_EQ(r.SupportedGroups, 3u);
  EXPECT_STREQ(r.Manufacturer, "Application manufacturer");
  EXPECT_STREQ(r.ProductFamily, "App product family");
  EXPECT_STREQ(r.ProductName, "App product name");
  EXPECT_EQ(twain->Info().Language(), tlUserLocale);
  EXPECT_EQ(twain->Info().Groups(), (TTwainGroups{tgControl, tgImage}));
  EXPECT_EQ(twain->Info().Owner(), twain.get());
  // Bytes after each text are zero.
  for (size_t i = std::strlen(r.ProductName); i < sizeof r.ProductName; ++i)
    EXPECT_EQ(r.ProductName[i], 0);
}

TEST_F(TwainFixture, OpenSourceManagerPassesTheHiddenWindowsAddress) {
  twain->SetSourceManagerLoaded(true);
  EXPECT_TRUE(twain->SourceManagerLoaded());
  ASSERT_EQ(Trace(), StringList{"CONTROL/PARENT/OPENDSM"});
  const TRecordedCall &call = Dsm().Calls()[0];
  EXPECT_EQ(call.origin, twain->AppIdentity());
  EXPECT_EQ(call.dest, nullptr);
  EXPECT_EQ(call.As<HWND>(), twain->VirtualWindow());
  // Opening again sends nothing.
  EXPECT_TRUE(twain->LoadSourceManager());
  EXPECT_EQ(Dsm().Calls().size(), 1u);
}

TEST_F(TwainFixture, FailedOpenDsmLeavesTheConnectionClosed) {
  Dsm().Queue(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, Rc(TWRC_FAILURE));
  twain->SetSourceManagerLoaded(true);
  EXPECT_FALSE(twain->SourceManagerLoaded());
  EXPECT_EQ(twain->SourceCount(), 0);
  EXPECT_EQ(Trace(), StringList{"CONTROL/PARENT/OPENDSM"});
}

TEST_F(TwainFixture, EnumeratesTwentyFiveSources) {
  twain->TransferMode = ttmFile;
  Connect(25);
  EXPECT_EQ(twain->SourceCount(), 25);
  EXPECT_EQ(twain->SourceList().Capacity, 30);
  StringList expected{"CONTROL/PARENT/OPENDSM", "CONTROL/IDENTITY/GETFIRST"};
  for (int i = 0; i < 25; ++i)
    expected.push_back("CONTROL/IDENTITY/GETNEXT"); // 24 sources and the end of the list
  EXPECT_EQ(Trace(), expected);
  for (size_t i = 1; i < Dsm().Calls().size(); ++i) {
    EXPECT_EQ(Dsm().Calls()[i].dest, nullptr);
    EXPECT_EQ(Dsm().Calls()[i].origin, twain->AppIdentity());
  }
  for (int i = 0; i < 25; ++i) {
    TTwainSource *source = twain->Source(i);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->ProductName(), "Source " + std::to_string(i));
    EXPECT_EQ(source->IdentityRecord()->Id, 100u + static_cast<uint32_t>(i));
    EXPECT_EQ(source->Index, i);
    EXPECT_EQ(source->TransferMode, i == 0 ? ttmNative : ttmFile);
    EXPECT_FALSE(source->Loaded());
    EXPECT_FALSE(source->Enabled());
    EXPECT_TRUE(source->ShowUI);
    EXPECT_TRUE(source->ModalUI);
    EXPECT_EQ(source->Owner(), twain.get());
  }
}

TEST_F(TwainFixture, FirstSourceKeepsItsDefaultsSecondTakesTheManagersMode) {
  Connect(2);
  EXPECT_EQ(twain->Source(0)->TransferMode, ttmNative);
  EXPECT_EQ(twain->Source(0)->Index, 0);
  EXPECT_EQ(twain->Source(1)->TransferMode, ttmMemory);
  EXPECT_EQ(twain->Source(1)->Index, 1);
}

TEST_F(TwainFixture, SourceCountAsksOnceUntilTheConnectionIsReopened) {
  Connect(3);
  EXPECT_EQ(twain->SourceCount(), 3);
  EXPECT_EQ(twain->SourceCount(), 3);
  EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST), 1u);
  twain->SetSourceCount(7); // without effect
  EXPECT_EQ(twain->SourceCount(), 3);
  twain->SetSourceManagerLoaded(false);
  EXPECT_FALSE(twain->SourceManagerLoaded());
  EXPECT_EQ(twain->SourceList().Count, 0);
  Dsm().QueueSources(2);
  twain->SetSourceManagerLoaded(true);
  EXPECT_EQ(twain->SourceCount(), 2);
  EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST), 2u);
  EXPECT_EQ(Trace(),
            (StringList{"CONTROL/PARENT/OPENDSM", "CONTROL/IDENTITY/GETFIRST", "CONTROL/IDENTITY/GETNEXT",
                        "CONTROL/IDENTITY/GETNEXT", "CONTROL/IDENTITY/GETNEXT", "CONTROL/PARENT/CLOSEDSM",
                        "CONTROL/PARENT/OPENDSM", "CONTROL/IDENTITY/GETFIRST", "CONTROL/IDENTITY/GETNEXT",
                        "CONTROL/IDENTITY/GETNEXT"}));
}

TEST_F(TwainFixture, DefaultSourceRules) {
  Connect(3);
  // MSG_GETDEFAULT fails: the first source.
  EXPECT_EQ(twain->Source(-1), twain->Source(0));
  EXPECT_EQ(twain->DefaultSourceIndex(), 0);
  // The default is the third listed source.
  Dsm().Queue(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, Record(*twain->Source(2)->IdentityRecord()));
  EXPECT_EQ(twain->Source(-1), twain->Source(2));
  // The default is not among the listed sources.
  Dsm().Queue(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT,
              Record(TRecordingDsm::MakeIdentity(999, "Elsewhere")));
  EXPECT_EQ(twain->Source(-1), nullptr);
  EXPECT_EQ(twain->Source(3), nullptr);
  EXPECT_EQ(twain->Source(-2), nullptr);
  // FindSource compares the whole record, Id included.
  TW_IDENTITY copy = *twain->Source(1)->IdentityRecord();
  EXPECT_EQ(twain->FindSource(copy), 1);
  copy.Id = 5;
  EXPECT_EQ(twain->FindSource(copy), -1);
}

TEST_F(TwainFixture, SourceMinusOneWithoutSourcesIsNil) {
  Connect(0);
  EXPECT_EQ(twain->SourceCount(), 0);
  EXPECT_EQ(twain->Source(-1), nullptr);
  EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT), 0u);
}

TEST_F(TwainFixture, InfoAssignmentCopiesTheWholeRecord) {
  TW_IDENTITY *before = twain->AppIdentity();
  TTwainIdentity other(nullptr);
  other.Record()->Id = 77;
  other.SetProductName("Other product");
  other.SetLanguage(tlGerman);
  other.SetGroups({tgAudio});
  twain->SetInfo(other);
  EXPECT_EQ(twain->AppIdentity(), before);
  EXPECT_EQ(std::memcmp(twain->AppIdentity(), other.Record(), sizeof(TW_IDENTITY)), 0);
  EXPECT_EQ(twain->AppIdentity()->Id, 77u);
  EXPECT_EQ(twain->Info().Owner(), twain.get()); // the owner stays
  // A source is an identity too.
  Connect(1);
  EXPECT_TRUE(twain->Info().Assign(*twain->Source(0)));
  EXPECT_EQ(twain->Info().ProductName(), "Source 0");
  // Anything else is rejected and changes nothing.
  struct TOther : TPersistent {
  } stranger;
  EXPECT_FALSE(twain->Info().Assign(stranger));
  EXPECT_EQ(twain->Info().ProductName(), "Source 0");
}

TEST(TwainIdentityTest, GroupsEncoding) {
  TTwainIdentity identity(nullptr);
  identity.SetGroups({tgAudio});
  EXPECT_EQ(identity.Record()->SupportedGroups, 5u);
  EXPECT_EQ(identity.Groups(), (TTwainGroups{tgControl, tgAudio}));
  identity.SetGroups({});
  EXPECT_EQ(identity.Record()->SupportedGroups, 1u);
  EXPECT_EQ(identity.Groups(), TTwainGroups{tgControl});
  identity.SetGroups({tgControl, tgImage, tgAudio});
  EXPECT_EQ(identity.Record()->SupportedGroups, 7u);
  identity.Record()->SupportedGroups = 2; // control bit missing: still reported
  EXPECT_EQ(identity.Groups(), (TTwainGroups{tgControl, tgImage}));
}

TEST(TwainIdentityTest, LanguageEncoding) {
  TTwainIdentity identity(nullptr);
  identity.SetLanguage(tlUserLocale);
  EXPECT_EQ(identity.Record()->Version.Language, 0xFFFF);
  EXPECT_EQ(identity.Language(), tlUserLocale);
  identity.SetLanguage(tlUsEnglish);
  EXPECT_EQ(identity.Record()->Version.Language, TWLG_USA);
  EXPECT_EQ(identity.Language(), tlUsEnglish);
  identity.SetLanguage(tlDanish);
  EXPECT_EQ(identity.Record()->Version.Language, TWLG_DANISH);
  identity.SetLanguage(tlVietnamese);
  EXPECT_EQ(identity.Record()->Version.Language, 113);
  EXPECT_EQ(identity.Language(), tlVietnamese);
}

TEST(TwainIdentityTest, TextFields) {
  TTwainIdentity identity(nullptr);
  identity.SetProductName(std::string(40, 'x'));
  EXPECT_EQ(identity.ProductName(), std::string(33, 'x')); // cut, the field keeps its NUL
  EXPECT_EQ(identity.Record()->ProductName[33], 0);
  identity.SetManufacturer("AB");
  for (size_t i = 2; i < sizeof(TW_STR32); ++i)
    EXPECT_EQ(identity.Record()->Manufacturer[i], 0);
  // A field filled to the last byte reads 34 characters at most.
  std::memset(identity.Record()->ProductFamily, 'q', sizeof(TW_STR32));
  EXPECT_EQ(identity.ProductFamily(), std::string(34, 'q'));
  EXPECT_EQ(identity.GetString(TTwainIdentity::tiVersionInfo), "Application name");
  EXPECT_EQ(identity.GetString(9), "");
}

TEST(PointerListTest, GrowsByBlocksAndShrinksOnClear) {
  TPointerList list;
  EXPECT_EQ(list.Capacity, 10);
  EXPECT_EQ(list.Count, 0);
  EXPECT_EQ(list.GrowBy, 10);
  int values[25];
  for (int i = 0; i < 25; ++i)
    list.Add(&values[i]);
  EXPECT_EQ(list.Count, 25);
  EXPECT_EQ(list.Capacity, 30);
  for (int i = 0; i < 25; ++i)
    EXPECT_EQ(list.GetItem(i), &values[i]);
  EXPECT_EQ(list.GetItem(25), nullptr);
  EXPECT_EQ(list.GetItem(-1), nullptr);
  list.SetItem(25, &values[0]); // out of range: ignored
  EXPECT_EQ(list.Count, 25);
  list.SetCapacity(20); // below Count: ignored
  EXPECT_EQ(list.Capacity, 30);
  list.SetCapacity(0);
  EXPECT_EQ(list.Capacity, 30);
  list.SetCount(-1);
  EXPECT_EQ(list.Count, 25);
  list.Clear();
  EXPECT_EQ(list.Count, 0);
  EXPECT_EQ(list.Capacity, 10);
}

TEST(KestraTwainUtilsTest, ExtractDirectory) {
  EXPECT_EQ(ExtractDirectory("C:\\scan\\app.exe"), "C:\\scan\\");
  EXPECT_EQ(ExtractDirectory("app.exe"), "app.exe");
  EXPECT_EQ(ExtractDirectory("C:app.exe"), "C:");
  EXPECT_EQ(ExtractDirectory(""), "");
  EXPECT_EQ(LastDelimiterPos("C:\\a\\b", "\\:"), 5);
  EXPECT_EQ(LastDelimiterPos("abc", "\\:"), 3);
  EXPECT_EQ(LastDelimiterPos("", "\\:"), 0);
}

TEST(KestraTwainUtilsTest, AppendBackslash) {
  std::string path = "C:\\dir";
  AppendBackslash(path);
  EXPECT_EQ(path, "C:\\dir\\");
  AppendBackslash(path);
  EXPECT_EQ(path, "C:\\dir\\");
  std::string empty;
  AppendBackslash(empty);
  EXPECT_EQ(empty, "");
}

TEST(KestraTwainUtilsTest, KnownDirectoriesEndInABackslash) {
  for (TDirectoryKind kind : {dkWindows, dkSystem, dkCurrent, dkApplication, dkTemp}) {
    std::string directory = GetKnownDirectory(kind);
    ASSERT_FALSE(directory.empty()) << kind;
    EXPECT_EQ(directory.back(), '\\') << kind;
    EXPECT_TRUE(FileExistsAt(directory + "*")) << directory;
  }
  char module[MAX_PATH];
  ::GetModuleFileNameA(nullptr, module, MAX_PATH);
  EXPECT_EQ(GetKnownDirectory(dkApplication), ExtractDirectory(module));
}

TEST(KestraTwainUtilsTest, FindsTheSourceManagerInTheWindowsDirectory) {
  // Wine keeps TWAIN_32.DLL in C:\windows for 32-bit programs: the first directory searched.
  EXPECT_EQ(Lower(FindTwainDirectory()), Lower(GetKnownDirectory(dkWindows)));
  EXPECT_TRUE(FileExistsAt(GetKnownDirectory(dkWindows) + "twain_32.dll"));
  EXPECT_FALSE(FileExistsAt(GetKnownDirectory(dkWindows) + "no-such-file.dll"));
}

TEST(KestraTwainUtilsTest, Fix32AsFloat) {
  EXPECT_EQ(Fix32AsFloat(uint32_t{1u | (32768u << 16)}), 1.5L);
  EXPECT_EQ(Fix32AsFloat(uint32_t{0xFFFFu | (32768u << 16)}), -0.5L);
  EXPECT_EQ(Fix32AsFloat(uint32_t{0u | (1u << 16)}), 1.0L / 65536.0L);
  EXPECT_EQ(Fix32AsFloat(TW_FIX32{300, 0}), 300.0L);
  EXPECT_EQ(Fix32AsFloat(TW_FIX32{-2, 0}), -2.0L);
}

TEST(KestraTwainLibraryTest, LoadsTheRealLibraryByOrdinal) {
  TKestraTwain manager;
  ASSERT_TRUE(manager.LoadTwainLibrary());
  EXPECT_TRUE(manager.LibraryLoaded());
  EXPECT_NE(manager.LibraryHandle(), nullptr);
  EXPECT_EQ(reinterpret_cast<void *>(manager.DSMEntryProc()),
            reinterpret_cast<void *>(::GetProcAddress(manager.LibraryHandle(), MAKEINTRESOURCEA(1))));
  EXPECT_TRUE(manager.LoadTwainLibrary()); // already loaded
  EXPECT_TRUE(manager.UnloadTwainLibrary());
  EXPECT_FALSE(manager.LibraryLoaded());
  EXPECT_EQ(manager.LibraryHandle(), nullptr);
  EXPECT_TRUE(manager.UnloadTwainLibrary()); // not loaded: true
}

TEST_F(TwainFixture, AttachedEntryUnloadsWithoutAModule) {
  Connect(1);
  EXPECT_EQ(twain->LibraryHandle(), nullptr);
  EXPECT_TRUE(twain->UnloadTwainLibrary());
  EXPECT_FALSE(twain->LibraryLoaded());
  EXPECT_FALSE(twain->SourceManagerLoaded());
  EXPECT_EQ(Trace().back(), "CONTROL/PARENT/CLOSEDSM");
  EXPECT_FALSE(twain->AttachEntry(nullptr));
  EXPECT_FALSE(twain->LibraryLoaded());
}

TEST_F(TwainFixture, FailedCloseDsmFreesTheSourcesButStaysConnected) {
  Connect(2);
  EXPECT_EQ(twain->SourceCount(), 2);
  Dsm().Queue(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, Rc(TWRC_FAILURE));
  EXPECT_FALSE(twain->UnloadSourceManager());
  EXPECT_TRUE(twain->SourceManagerLoaded());
  EXPECT_EQ(twain->SourceList().Count, 0);
  EXPECT_FALSE(twain->SourcesEnumerated());
  // Unloading the library goes on regardless.
  Dsm().Queue(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, Rc(TWRC_FAILURE));
  EXPECT_TRUE(twain->UnloadTwainLibrary());
  EXPECT_FALSE(twain->LibraryLoaded());
}

TEST_F(TwainFixture, DestructionDisablesClosesAndDisconnectsInOrder) {
  LogEvents();
  Connect(3);
  ASSERT_TRUE(twain->Source(0)->Open());
  ASSERT_TRUE(twain->Source(2)->Open());
  ASSERT_TRUE(twain->Source(2)->Enable(false, false));
  ASSERT_TRUE(twain->Source(0)->Enable(false, false));
  EXPECT_EQ(twain->LoadedSourceCount, 2);
  TW_IDENTITY *first = twain->Source(0)->IdentityRecord();
  TW_IDENTITY *third = twain->Source(2)->IdentityRecord();
  size_t mark = Dsm().Calls().size();
  twain.reset();
  EXPECT_EQ(Trace(mark), (StringList{"CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS",
                                     "CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS",
                                     "CONTROL/PARENT/CLOSEDSM"}));
  EXPECT_EQ(Dsm().Calls()[mark].dest, first);
  EXPECT_EQ(Dsm().Calls()[mark + 1].pData, first);
  EXPECT_EQ(Dsm().Calls()[mark + 2].dest, third);
  EXPECT_EQ(events, (StringList{"disable 0", "disable 2"}));
}
