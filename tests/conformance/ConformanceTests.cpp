// The conformance table of our data sources, driven as any TWAIN application would drive them
// through Wine's source manager: every triplet in every state with the return code the standard
// gives, every capability with every message of the negotiation, the user interface shown and not,
// a callback instead of the event loop, and the native, memory and file transfers of one page.
// The program runs once per source (TOVIK_CONFORMANCE_SOURCE) and prints the table's size.
#include "tests/conformance/SourceUnderTest.h"
#include "tests/sane-source/TwainClient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

using conformance::Pixels;
using sanetest::TwainClient;

namespace {

// The TWAIN 2 parts of the protocol, as the standard numbers them: the test's own, not the
// sources' header, so that a wrong number there cannot agree with itself here.
constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
constexpr TW_UINT16 DAT_CALLBACK2 = 0x0012;
constexpr TW_UINT16 MSG_GETHELP = 0x0009;
constexpr TW_UINT16 MSG_GETLABEL = 0x000A;
constexpr TW_UINT16 MSG_GETLABELENUM = 0x000B;
constexpr TW_UINT16 MSG_SETCONSTRAINT = 0x000C;
constexpr TW_UINT16 MSG_REGISTER_CALLBACK = 0x0902;
constexpr TW_UINT16 MSG_RESETALL = 0x0A01;
constexpr TW_UINT32 DF_DS2 = 0x40000000;
constexpr TW_INT32 TWQC_GET = 0x01, TWQC_SET = 0x02, TWQC_GETDEFAULT = 0x04, TWQC_GETCURRENT = 0x08,
                   TWQC_RESET = 0x10;
constexpr TW_UINT16 CAP_SUPPORTEDCAPS = 0x1005;

#pragma pack(push, 2)
struct Callback {
  TW_MEMREF proc;
  TW_UINT32 refCon;
  TW_INT16 message;
};
struct ImageLayout {
  TW_FRAME frame;
  TW_UINT32 document, page, frameNumber;
};
#pragma pack(pop)

const conformance::SourceUnderTest &Under() {
  static const conformance::SourceUnderTest source = conformance::PrepareSource();
  return source;
}

// What a triplet may answer: a return code, and for TWRC_FAILURE the condition code.
struct Answer {
  TW_UINT16 rc;
  TW_UINT16 cc;
  bool operator==(const Answer &o) const { return rc == o.rc && (rc != TWRC_FAILURE || cc == o.cc); }
};
std::string Text(const Answer &a) { return "rc=" + std::to_string(a.rc) + " cc=" + std::to_string(a.cc); }
const Answer kSuccess{TWRC_SUCCESS, 0};
const Answer kSeqError{TWRC_FAILURE, TWCC_SEQERROR};
const Answer kBadOperation{TWRC_FAILURE, TWCC_CAPBADOPERATION};

// Every record a triplet of the table is sent with, zeroed before each.
struct Records {
  TW_CAPABILITY cap{};
  MSG message{};
  TW_EVENT event{};
  TW_PENDINGXFERS pending{};
  TW_SETUPMEMXFER setupMem{};
  TW_SETUPFILEXFER setupFile{};
  TW_STATUS status{};
  TW_USERINTERFACE ui{};
  TW_UINT32 group = 0;
  Callback callback{};
  TW_IMAGEINFO info{};
  ImageLayout layout{};
  TW_IMAGEMEMXFER memXfer{};
  std::vector<uint8_t> buffer;
  HGLOBAL native = nullptr;
  TW_PALETTE8 palette{};
  win::UniqueGlobal container;
};

TW_UINT16 WINAPI IgnoreMessages(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
  return TWRC_SUCCESS;
}

// One row of the table: a triplet, the states in which the source takes it and what it answers
// there (anywhere else TWRC_FAILURE / TWCC_SEQERROR), and the record it is sent with.
struct TripletRow {
  const char *name;
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
  int low, high;
  std::vector<Answer> answers;
  TW_UINT16 mechanism; // the transfer mechanism negotiated before the row's states are reached
  std::function<void *(Records &, TwainClient &)> record;
};

std::string TempFile(const char *name) {
  char temp[MAX_PATH] = {};
  const DWORD n = ::GetTempPathA(MAX_PATH, temp);
  return std::string(temp, n < MAX_PATH ? n : 0) + name;
}

std::vector<TripletRow> Table() {
  const Answer xferDone{TWRC_XFERDONE, 0};
  auto cap = [](TW_UINT16 capNumber) {
    return [capNumber](Records &r, TwainClient &) -> void * {
      r.cap = TW_CAPABILITY{capNumber, TWON_DONTCARE16, nullptr};
      return &r.cap;
    };
  };
  auto setMechanism = [](Records &r, TwainClient &) -> void * {
    r.container.reset(::GlobalAlloc(GHND, sizeof(TW_ONEVALUE)));
    win::GlobalLockGuard lock(r.container.get());
    auto *one = static_cast<TW_ONEVALUE *>(lock.data());
    one->ItemType = TWTY_UINT16;
    one->Item = TWSX_NATIVE; // the mechanism every row of state 4 has
    r.cap = TW_CAPABILITY{ICAP_XFERMECH, TWON_ONEVALUE, r.container.get()};
    return &r.cap;
  };
  auto field = [](auto member) {
    return [member](Records &r, TwainClient &) -> void * { return &(r.*member); };
  };
  auto event = [](Records &r, TwainClient &) -> void * {
    r.message.message = WM_NULL;
    r.event = TW_EVENT{&r.message, MSG_NULL};
    return &r.event;
  };
  auto ui = [](Records &r, TwainClient &) -> void * {
    r.ui = TW_USERINTERFACE{TWAIN_TRUE, TWAIN_FALSE, nullptr}; // the window keeps the source in state 5
    return &r.ui;
  };
  auto callback = [](Records &r, TwainClient &) -> void * {
    r.callback = Callback{reinterpret_cast<TW_MEMREF>(&IgnoreMessages), 0, 0};
    return &r.callback;
  };
  auto setFile = [](Records &r, TwainClient &) -> void * {
    std::strcpy(r.setupFile.FileName, TempFile("conformance-set.bmp").c_str());
    r.setupFile.Format = TWFF_BMP;
    return &r.setupFile;
  };
  auto layoutSet = [](Records &r, TwainClient &c) -> void * {
    c.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &r.layout); // its own frame, which it takes as it is
    return &r.layout;
  };
  auto memXfer = [](Records &r, TwainClient &c) -> void * {
    TW_SETUPMEMXFER setup{};
    c.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    r.buffer.assign(setup.Preferred ? setup.Preferred : 64 * 1024, 0);
    r.memXfer.Memory =
        TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(r.buffer.size()), r.buffer.data()};
    return &r.memXfer;
  };
  auto paletteAnswers = std::vector<Answer>{kSuccess, {TWRC_FAILURE, TWCC_BADPROTOCOL}}; // none for colour
  const TW_UINT16 any = TWSX_NATIVE;
  return {
      {"CAPABILITY/GET", DG_CONTROL, DAT_CAPABILITY, MSG_GET, 4, 7, {kSuccess}, any, cap(ICAP_XFERMECH)},
      {"CAPABILITY/GETCURRENT",
       DG_CONTROL,
       DAT_CAPABILITY,
       MSG_GETCURRENT,
       4,
       7,
       {kSuccess},
       any,
       cap(ICAP_PIXELTYPE)},
      {"CAPABILITY/GETDEFAULT",
       DG_CONTROL,
       DAT_CAPABILITY,
       MSG_GETDEFAULT,
       4,
       7,
       {kSuccess},
       any,
       cap(ICAP_UNITS)},
      {"CAPABILITY/QUERYSUPPORT",
       DG_CONTROL,
       DAT_CAPABILITY,
       MSG_QUERYSUPPORT,
       4,
       7,
       {kSuccess},
       any,
       cap(CAP_XFERCOUNT)},
      {"CAPABILITY/GETHELP",
       DG_CONTROL,
       DAT_CAPABILITY,
       MSG_GETHELP,
       4,
       7,
       {kBadOperation},
       any,
       cap(ICAP_PIXELTYPE)},
      {"CAPABILITY/GETLABEL",
       DG_CONTROL,
       DAT_CAPABILITY,
       MSG_GETLABEL,
       4,
       7,
       {kBadOperation},
       any,
       cap(ICAP_PIXELTYPE)},
      {"CAPABILITY/GETLABELENUM",
       DG_CONTROL,
       DAT_CAPABILITY,
       MSG_GETLABELENUM,
       4,
       7,
       {kBadOperation},
       any,
       cap(ICAP_PIXELTYPE)},
      {"CAPABILITY/SET", DG_CONTROL, DAT_CAPABILITY, MSG_SET, 4, 4, {kSuccess}, any, setMechanism},
      {"CAPABILITY/SETCONSTRAINT",
       DG_CONTROL,
       DAT_CAPABILITY,
       MSG_SETCONSTRAINT,
       4,
       4,
       {kBadOperation},
       any,
       setMechanism},
      {"CAPABILITY/RESET", DG_CONTROL, DAT_CAPABILITY, MSG_RESET, 4, 4, {kSuccess}, any, cap(ICAP_XFERMECH)},
      {"CAPABILITY/RESETALL", DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, 4, 4, {kSuccess}, any, cap(0)},
      {"EVENT/PROCESSEVENT",
       DG_CONTROL,
       DAT_EVENT,
       MSG_PROCESSEVENT,
       4,
       7,
       {{TWRC_NOTDSEVENT, 0}},
       any,
       event},
      {"PENDINGXFERS/GET",
       DG_CONTROL,
       DAT_PENDINGXFERS,
       MSG_GET,
       4,
       7,
       {kSuccess},
       any,
       field(&Records::pending)},
      {"PENDINGXFERS/ENDXFER",
       DG_CONTROL,
       DAT_PENDINGXFERS,
       MSG_ENDXFER,
       6,
       7,
       {kSuccess},
       any,
       field(&Records::pending)},
      {"PENDINGXFERS/RESET",
       DG_CONTROL,
       DAT_PENDINGXFERS,
       MSG_RESET,
       6,
       6,
       {kSuccess},
       any,
       field(&Records::pending)},
      {"PENDINGXFERS/STOPFEEDER",
       DG_CONTROL,
       DAT_PENDINGXFERS,
       MSG_STOPFEEDER,
       6,
       6,
       {kSuccess},
       any,
       field(&Records::pending)},
      {"SETUPMEMXFER/GET",
       DG_CONTROL,
       DAT_SETUPMEMXFER,
       MSG_GET,
       4,
       6,
       {kSuccess},
       any,
       field(&Records::setupMem)},
      {"SETUPFILEXFER/GET",
       DG_CONTROL,
       DAT_SETUPFILEXFER,
       MSG_GET,
       4,
       6,
       {kSuccess},
       any,
       field(&Records::setupFile)},
      {"SETUPFILEXFER/GETDEFAULT",
       DG_CONTROL,
       DAT_SETUPFILEXFER,
       MSG_GETDEFAULT,
       4,
       6,
       {kSuccess},
       any,
       field(&Records::setupFile)},
      {"SETUPFILEXFER/SET", DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, 4, 6, {kSuccess}, any, setFile},
      {"SETUPFILEXFER/RESET",
       DG_CONTROL,
       DAT_SETUPFILEXFER,
       MSG_RESET,
       4,
       4,
       {kSuccess},
       any,
       field(&Records::setupFile)},
      {"STATUS/GET", DG_CONTROL, DAT_STATUS, MSG_GET, 4, 7, {kSuccess}, any, field(&Records::status)},
      {"USERINTERFACE/ENABLEDS", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 4, 4, {kSuccess}, any, ui},
      {"USERINTERFACE/ENABLEDSUIONLY",
       DG_CONTROL,
       DAT_USERINTERFACE,
       MSG_ENABLEDSUIONLY,
       4,
       4,
       {kSuccess},
       any,
       ui},
      {"USERINTERFACE/DISABLEDS", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 5, 5, {kSuccess}, any, ui},
      {"XFERGROUP/GET", DG_CONTROL, DAT_XFERGROUP, MSG_GET, 4, 6, {kSuccess}, any, field(&Records::group)},
      {"CALLBACK/REGISTER_CALLBACK",
       DG_CONTROL,
       DAT_CALLBACK,
       MSG_REGISTER_CALLBACK,
       4,
       4,
       {kSuccess},
       any,
       callback},
      {"CALLBACK2/REGISTER_CALLBACK",
       DG_CONTROL,
       DAT_CALLBACK2,
       MSG_REGISTER_CALLBACK,
       4,
       4,
       {kSuccess},
       any,
       callback},
      {"IMAGEINFO/GET", DG_IMAGE, DAT_IMAGEINFO, MSG_GET, 6, 7, {kSuccess}, any, field(&Records::info)},
      {"IMAGELAYOUT/GET", DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, 4, 6, {kSuccess}, any, field(&Records::layout)},
      {"IMAGELAYOUT/GETDEFAULT",
       DG_IMAGE,
       DAT_IMAGELAYOUT,
       MSG_GETDEFAULT,
       4,
       6,
       {kSuccess},
       any,
       field(&Records::layout)},
      {"IMAGELAYOUT/SET", DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, 4, 4, {kSuccess}, any, layoutSet},
      {"IMAGELAYOUT/RESET",
       DG_IMAGE,
       DAT_IMAGELAYOUT,
       MSG_RESET,
       4,
       4,
       {kSuccess},
       any,
       field(&Records::layout)},
      {"IMAGEMEMXFER/GET",
       DG_IMAGE,
       DAT_IMAGEMEMXFER,
       MSG_GET,
       6,
       7,
       {kSuccess, xferDone},
       TWSX_MEMORY,
       memXfer},
      {"IMAGENATIVEXFER/GET",
       DG_IMAGE,
       DAT_IMAGENATIVEXFER,
       MSG_GET,
       6,
       6,
       {xferDone},
       TWSX_NATIVE,
       field(&Records::native)},
      {"IMAGEFILEXFER/GET",
       DG_IMAGE,
       DAT_IMAGEFILEXFER,
       MSG_GET,
       6,
       6,
       {xferDone},
       TWSX_FILE,
       [](Records &, TwainClient &) -> void * { return nullptr; }},
      {"PALETTE8/GET", DG_IMAGE, DAT_PALETTE8, MSG_GET, 4, 6, paletteAnswers, any, field(&Records::palette)},
  };
}

// An application with the source open, brought into a state and back.
class ConformanceTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(client.Ready()) << "no source manager";
    TwainClient::CallbackMessages().clear(); // what a test before was told
    ASSERT_EQ(client.OpenSource(Under().productName), TWRC_SUCCESS) << Under().productName;
  }
  void TearDown() override {
    BackToState4();
    EXPECT_EQ(client.CloseSource(), TWRC_SUCCESS);
  }

  Answer Send(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void *data) {
    Answer a{client.Call(dg, dat, msg, data), 0};
    if (a.rc == TWRC_FAILURE)
      a.cc = client.ConditionCode();
    return a;
  }

  TW_UINT16 SetOneValue(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value) {
    return client.SetOneValue(cap, type, value);
  }

  // From state 4 into `state` (5: enabled with the window shown; 6: a transfer ready; 7: a
  // strip of the page transferred), with `mechanism` negotiated. False when the source did not go.
  bool IntoState(int state, TW_UINT16 mechanism) {
    if (state == 4)
      return true;
    if (state == 7)
      mechanism = TWSX_MEMORY; // reached by a strip of a memory transfer
    if (SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism) != TWRC_SUCCESS)
      return false;
    if (state == 5)
      return client.Enable(true) == TWRC_SUCCESS;
    if (client.Enable(false) != TWRC_SUCCESS || client.WaitForMessage() != MSG_XFERREADY)
      return false;
    if (state == 6)
      return true;
    TW_SETUPMEMXFER setup{};
    client.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    std::vector<uint8_t> row(setup.MinBufSize ? setup.MinBufSize : 1);
    TW_IMAGEMEMXFER xfer{};
    xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(row.size()), row.data()};
    if (SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY) == TWRC_SUCCESS)
      return false; // a set in state 6 must be refused
    return client.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer) == TWRC_SUCCESS;
  }

  // Whatever state the source is in, the ways back: MSG_ENDXFER, MSG_RESET, MSG_DISABLEDS.
  void BackToState4() {
    TW_PENDINGXFERS pending{};
    for (int i = 0;
         i < 20 && client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) == TWRC_SUCCESS &&
         pending.Count != 0;
         ++i) {
    }
    client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    TW_USERINTERFACE ui{};
    client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  }

  TwainClient client;
};

TEST_F(ConformanceTest, EveryTripletInEveryStateAnswersAsTheStandardSays) {
  size_t cells = 0;
  const std::vector<TripletRow> table = Table();
  for (const TripletRow &row : table)
    for (int state = 4; state <= 7; ++state) {
      SCOPED_TRACE(std::string(row.name) + " in state " + std::to_string(state));
      ASSERT_TRUE(IntoState(state, row.mechanism)) << "the source did not reach the state";
      Records records;
      void *data = row.record(records, client);
      const Answer answer = Send(row.dg, row.dat, row.msg, data);
      win::UniqueGlobal container(records.cap.hContainer), native(records.native);
      const bool inside = state >= row.low && state <= row.high;
      bool expected = false;
      for (const Answer &a : inside ? row.answers : std::vector<Answer>{kSeqError})
        expected = expected || a == answer;
      EXPECT_TRUE(expected) << "answered " << Text(answer);
      ++cells;
      BackToState4();
    }
  std::printf("[ figure   ] %s: triplets x states checked: %zu (%zu triplets x 4 states)\n",
              Under().kind.c_str(), cells, table.size());
}

// An application that closes the source with a transfer ready or half done (after an error, at its
// end) without disabling first: the close is taken, and the source opens and scans again.
TEST_F(ConformanceTest, ASourceClosedInStates5To7OpensAndScansAgain) {
  for (int state = 5; state <= 7; ++state) {
    SCOPED_TRACE("state " + std::to_string(state));
    ASSERT_TRUE(IntoState(state, TWSX_MEMORY));
    EXPECT_EQ(client.CloseSource(), TWRC_SUCCESS);
    ASSERT_EQ(client.OpenSource(Under().productName), TWRC_SUCCESS);
  }
  ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
  EXPECT_EQ(client.Scan().pages.size(), 1u);
}

// Block sizes a container of `conType` must have for its items.
size_t ItemBytes(TW_UINT16 type) { return type == TWTY_FRAME ? 16 : TwainScalarItemSize(type); }
bool WellFormed(TW_UINT16 conType, const std::vector<uint8_t> &c) {
  if (c.size() < 2)
    return false;
  TW_UINT16 type = 0;
  std::memcpy(&type, c.data(), 2);
  const size_t item = ItemBytes(type);
  TW_UINT32 n = 0, current = 0, def = 0;
  switch (conType) {
  case TWON_ONEVALUE:
    return item && c.size() >= 2 + item;
  case TWON_RANGE:
    return item && item <= 4 && c.size() >= sizeof(TW_RANGE);
  case TWON_ARRAY:
    std::memcpy(&n, c.data() + 2, 4);
    return item && c.size() >= TW_ARRAY_HEADER_SIZE + n * item;
  case TWON_ENUMERATION:
    if (c.size() < TW_ENUMERATION_HEADER_SIZE)
      return false;
    std::memcpy(&n, c.data() + 2, 4);
    std::memcpy(&current, c.data() + 6, 4);
    std::memcpy(&def, c.data() + 10, 4);
    return item && n > 0 && current < n && def < n && c.size() >= TW_ENUMERATION_HEADER_SIZE + n * item;
  default:
    return false;
  }
}

TW_UINT16 SendContainer(TwainClient &client, TW_UINT16 capNumber, TW_UINT16 msg, TW_UINT16 conType,
                        const std::vector<uint8_t> &bytes) {
  win::UniqueGlobal block(::GlobalAlloc(GHND, bytes.size()));
  {
    win::GlobalLockGuard lock(block.get());
    std::memcpy(lock.data(), bytes.data(), bytes.size());
  }
  TW_CAPABILITY c{capNumber, conType, block.get()};
  const TW_UINT16 rc = client.Call(DG_CONTROL, DAT_CAPABILITY, msg, &c);
  if (c.hContainer != block.get()) {
    win::UniqueGlobal answered(c.hContainer); // a source that answered with a block of its own
  }
  return rc;
}

TEST_F(ConformanceTest, EveryCapabilityAnswersEveryMessageOfTheNegotiation) {
  TW_UINT16 conType = 0;
  std::vector<uint8_t> list;
  ASSERT_EQ(client.GetCap(CAP_SUPPORTEDCAPS, MSG_GET, conType, list), TWRC_SUCCESS);
  ASSERT_EQ(conType, TWON_ARRAY);
  ASSERT_TRUE(WellFormed(conType, list));
  TW_UINT32 count = 0;
  std::memcpy(&count, list.data() + 2, 4);
  std::vector<TW_UINT16> caps(count);
  std::memcpy(caps.data(), list.data() + TW_ARRAY_HEADER_SIZE, count * 2);
  // The capabilities every source must answer.
  for (TW_UINT16 mandatory :
       {CAP_SUPPORTEDCAPS, CAP_XFERCOUNT,     TW_UINT16(0x100E), TW_UINT16(0x100F),
        CAP_INDICATORS,    ICAP_COMPRESSION,  TW_UINT16(0x1120), TW_UINT16(0x1111),
        TW_UINT16(0x1112), ICAP_PIXELFLAVOR,  ICAP_PIXELTYPE,    ICAP_BITDEPTH,
        ICAP_UNITS,        ICAP_XFERMECH,     ICAP_XRESOLUTION,  ICAP_YRESOLUTION,
        TW_UINT16(0x110C), TW_UINT16(0x1114), TW_UINT16(0x112D), TW_UINT16(0x111C) /* ICAP_BITORDER */})
    EXPECT_NE(std::find(caps.begin(), caps.end(), mandatory), caps.end())
        << "missing cap 0x" << std::hex << mandatory;

  size_t cells = 0;
  for (TW_UINT16 capNumber : caps) {
    SCOPED_TRACE("cap 0x" + [&] {
      char b[8];
      std::snprintf(b, sizeof b, "%04X", capNumber);
      return std::string(b);
    }());
    std::vector<uint8_t> got, current, def, support;
    TW_UINT16 getType = 0, currentType = 0, defType = 0, supportType = 0;
    ASSERT_EQ(client.GetCap(capNumber, MSG_GET, getType, got), TWRC_SUCCESS);
    EXPECT_TRUE(WellFormed(getType, got));
    ASSERT_EQ(client.GetCap(capNumber, MSG_GETCURRENT, currentType, current), TWRC_SUCCESS);
    EXPECT_TRUE(currentType == TWON_ONEVALUE || currentType == TWON_ARRAY);
    EXPECT_TRUE(WellFormed(currentType, current));
    ASSERT_EQ(client.GetCap(capNumber, MSG_GETDEFAULT, defType, def), TWRC_SUCCESS);
    EXPECT_TRUE(WellFormed(defType, def));
    ASSERT_EQ(client.GetCap(capNumber, MSG_QUERYSUPPORT, supportType, support), TWRC_SUCCESS);
    ASSERT_EQ(supportType, TWON_ONEVALUE);
    ASSERT_GE(support.size(), 6u);
    TW_INT32 bits = 0;
    std::memcpy(&bits, support.data() + 2, 4);
    const TW_INT32 reads = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
    EXPECT_EQ(bits & reads, reads);
    if (capNumber == ICAP_XRESOLUTION || capNumber == ICAP_YRESOLUTION) {
      EXPECT_EQ(current[0], TWTY_FIX32);
    }
    const Answer refused = kBadOperation;
    // Its own current value, as a one-value; and the container MSG_GET gave, sent back as it is.
    auto set = [&](TW_UINT16 type, const std::vector<uint8_t> &bytes) {
      Answer a{SendContainer(client, capNumber, MSG_SET, type, bytes), 0};
      if (a.rc == TWRC_FAILURE)
        a.cc = client.ConditionCode();
      return a;
    };
    const Answer setCurrent = set(currentType, current), setGot = set(getType, got);
    // Without TWQC_SET nothing can change; a source may still take the value it holds.
    for (const Answer &a : {setCurrent, setGot})
      EXPECT_TRUE(a == kSuccess || (!(bits & TWQC_SET) && a == refused)) << Text(a);
    TW_CAPABILITY reset{capNumber, TWON_DONTCARE16, nullptr};
    const Answer resetAnswer = Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &reset);
    win::UniqueGlobal resetContainer(reset.hContainer);
    EXPECT_TRUE(resetAnswer == kSuccess || (!(bits & TWQC_RESET) && resetAnswer == refused))
        << Text(resetAnswer);
    for (TW_UINT16 msg : {MSG_GETHELP, MSG_GETLABEL, MSG_GETLABELENUM, MSG_SETCONSTRAINT}) {
      TW_CAPABILITY c{capNumber, TWON_DONTCARE16, nullptr};
      const Answer a = Send(DG_CONTROL, DAT_CAPABILITY, msg, &c);
      EXPECT_TRUE(a == refused) << "message " << msg << ": " << Text(a);
    }
    cells += 11; // GET, GETCURRENT, GETDEFAULT, QUERYSUPPORT, SET twice, RESET and the four without answers
  }
  TW_CAPABILITY unknown{0x7F01, TWON_DONTCARE16, nullptr};
  EXPECT_TRUE(Send(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &unknown) ==
              (Answer{TWRC_FAILURE, TWCC_CAPUNSUPPORTED}));
  // DAT_STATUS tells the condition of the last triplet: after a success, whatever failed before.
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &unknown), TWRC_FAILURE);
  EXPECT_EQ(client.GetCap(ICAP_PIXELTYPE, MSG_GETCURRENT, conType, list), TWRC_SUCCESS);
  EXPECT_EQ(client.ConditionCode(), TWCC_SUCCESS);
  std::printf("[ figure   ] %s: capabilities x messages checked: %zu (%zu capabilities x 11 messages)\n",
              Under().kind.c_str(), cells, caps.size());
}

TEST_F(ConformanceTest, ACloseResolutionIsTakenAsTheNearestWithCheckStatus) {
  TW_UINT16 conType = 0;
  std::vector<uint8_t> got, support;
  ASSERT_EQ(client.GetCap(ICAP_XRESOLUTION, MSG_QUERYSUPPORT, conType, support), TWRC_SUCCESS);
  ASSERT_EQ(client.GetCap(ICAP_XRESOLUTION, MSG_GET, conType, got), TWRC_SUCCESS);
  TW_INT32 bits = 0;
  std::memcpy(&bits, support.data() + 2, 4);
  if (!(bits & TWQC_SET) || conType == TWON_ONEVALUE)
    GTEST_SKIP() << "the source offers one resolution";
  std::vector<uint8_t> current;
  ASSERT_EQ(client.GetCap(ICAP_XRESOLUTION, MSG_GETCURRENT, conType, current), TWRC_SUCCESS);
  TW_UINT32 fix = 0;
  std::memcpy(&fix, current.data() + 2, 4);
  const TW_UINT32 close = fix + (0x4CCCu << 16); // 0.3 more
  EXPECT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, close), TWRC_CHECKSTATUS);
  ASSERT_EQ(client.GetCap(ICAP_XRESOLUTION, MSG_GETCURRENT, conType, current), TWRC_SUCCESS);
  TW_UINT32 now = 0;
  std::memcpy(&now, current.data() + 2, 4);
  EXPECT_EQ(now, fix) << "the nearest resolution offered";
}

Pixels FromDib(const uint8_t *dib, size_t size) {
  Pixels p;
  BITMAPINFOHEADER h{};
  if (size < sizeof h)
    return p;
  std::memcpy(&h, dib, sizeof h);
  p.width = h.biWidth;
  p.height = std::abs(h.biHeight);
  p.bits = h.biBitCount;
  const size_t colours = h.biClrUsed ? h.biClrUsed : h.biBitCount <= 8 ? (1u << h.biBitCount) : 0;
  const size_t stride = (size_t(p.width) * p.bits + 31) / 32 * 4, row = (size_t(p.width) * p.bits + 7) / 8;
  const size_t at = h.biSize + colours * 4;
  if (size < at + stride * p.height)
    return Pixels{};
  for (int y = 0; y < p.height; ++y) {
    const uint8_t *line = dib + at + stride * size_t(h.biHeight > 0 ? p.height - 1 - y : y);
    std::vector<uint8_t> out(line, line + row);
    if (p.bits == 24)
      for (size_t x = 0; x + 2 < row; x += 3)
        std::swap(out[x], out[x + 2]);
    p.rows.insert(p.rows.end(), out.begin(), out.end());
  }
  return p;
}

// The source's window, titled after its product.
HWND SourceWindow() { return ::FindWindowA(nullptr, (Under().productName + " settings").c_str()); }

// One page scanned with the given mechanism: without the source's window, or with it through its
// "Scan" (the window then stays after the batch until its "Close").
Pixels ScanOne(TwainClient &client, TW_UINT16 mechanism, bool showUI) {
  Pixels p;
  EXPECT_EQ(client.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
  EXPECT_EQ(client.Enable(showUI), TWRC_SUCCESS);
  HWND window = showUI ? SourceWindow() : nullptr;
  if (showUI) {
    EXPECT_NE(window, nullptr) << "no window";
    ::PostMessageA(window, WM_COMMAND, IDOK, 0); // Scan
  }
  if (client.WaitForMessage() != MSG_XFERREADY)
    return p;
  TW_IMAGEINFO info{};
  EXPECT_EQ(client.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_GT(info.ImageLength, 0) << "the length is known before the transfer";
  if (mechanism == TWSX_NATIVE) {
    HGLOBAL dib = nullptr;
    EXPECT_EQ(client.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    win::UniqueGlobal owned(dib);
    win::GlobalLockGuard lock(owned.get());
    if (lock)
      p = FromDib(static_cast<const uint8_t *>(lock.data()), lock.size());
  } else if (mechanism == TWSX_FILE) {
    const std::string path = TempFile("conformance-page.bmp");
    ::DeleteFileA(path.c_str());
    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, path.c_str());
    setup.Format = TWFF_BMP;
    EXPECT_EQ(client.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(client.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() > sizeof(BITMAPFILEHEADER) && file[0] == 'B' && file[1] == 'M')
      p = FromDib(file.data() + sizeof(BITMAPFILEHEADER), file.size() - sizeof(BITMAPFILEHEADER));
  } else {
    p.width = info.ImageWidth;
    p.height = info.ImageLength;
    p.bits = info.BitsPerPixel;
    const size_t row = (size_t(p.width) * p.bits + 7) / 8;
    std::vector<uint8_t> buffer(64 * 1024);
    for (TW_UINT16 rc = TWRC_SUCCESS; rc == TWRC_SUCCESS;) {
      TW_IMAGEMEMXFER xfer{};
      xfer.Memory =
          TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
      rc = client.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
      if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE)
        break;
      for (TW_UINT32 r = 0; r < xfer.Rows && xfer.BytesPerRow >= row; ++r)
        p.rows.insert(p.rows.end(), buffer.begin() + r * xfer.BytesPerRow,
                      buffer.begin() + r * xfer.BytesPerRow + row);
    }
  }
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0) << "one page a batch";
  if (showUI) {
    EXPECT_TRUE(::IsWindowVisible(window)) << "the window went with the batch";
    ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0); // Close
    EXPECT_EQ(client.WaitForMessage(), MSG_CLOSEDSREQ);
  }
  TW_USERINTERFACE ui{};
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  return p;
}

// Each page as the source's own reference says (the scenario's pattern, scanimage's page), by every
// mechanism, with the source's window and without.
TEST_F(ConformanceTest, NativeMemoryAndFileTransfersHandOverThePage) {
  int page = 0;
  for (bool showUI : {false, true})
    for (TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE, TWSX_FILE}) {
      SCOPED_TRACE("mechanism " + std::to_string(mechanism) + (showUI ? " through the window" : ""));
      const Pixels scanned = ScanOne(client, mechanism, showUI);
      const Pixels expected = Under().expectedPage(++page);
      ASSERT_FALSE(expected.rows.empty());
      EXPECT_EQ(scanned.width, expected.width);
      EXPECT_EQ(scanned.height, expected.height);
      EXPECT_EQ(scanned.bits, expected.bits);
      EXPECT_TRUE(scanned.rows == expected.rows) << "the page differs from the reference";
    }
}

TEST_F(ConformanceTest, WithItsWindowTheSourceScansWhenAskedAndClosesWhenThePersonSays) {
  ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
  ASSERT_EQ(client.Enable(true), TWRC_SUCCESS);
  HWND window = SourceWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  TW_IMAGEINFO info{};
  EXPECT_TRUE(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) == kSeqError) << "a transfer before Scan";
  ::PostMessageA(window, WM_COMMAND, IDOK, 0); // Scan
  ASSERT_EQ(client.WaitForMessage(), MSG_XFERREADY);
  ASSERT_EQ(client.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  // The batch is over; the window stays until the person closes it.
  EXPECT_TRUE(::IsWindowVisible(window));
  ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0); // Close
  EXPECT_EQ(client.WaitForMessage(), MSG_CLOSEDSREQ);
  TW_USERINTERFACE ui{};
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(SourceWindow(), nullptr);

  // Settings only: OK closes with MSG_CLOSEDSOK.
  ASSERT_EQ(client.Enable(true, MSG_ENABLEDSUIONLY), TWRC_SUCCESS);
  window = SourceWindow();
  ASSERT_NE(window, nullptr);
  ::PostMessageA(window, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(client.WaitForMessage(), MSG_CLOSEDSOK);
}

TEST_F(ConformanceTest, ATwain2SourceTellsARegisteredCallbackInsteadOfTheEventLoop) {
  EXPECT_NE(client.Source().SupportedGroups & DF_DS2, 0u);
  EXPECT_EQ(client.Source().ProtocolMajor, 2);
  ASSERT_EQ(client.RegisterCallback(), TWRC_SUCCESS);
  ASSERT_EQ(client.Enable(false), TWRC_SUCCESS);
  // The application's loop without MSG_PROCESSEVENT, as a TWAIN 2 application runs it.
  for (int i = 0; i < 400 && TwainClient::CallbackMessages().empty(); ++i) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
      ::DispatchMessageA(&message);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  ASSERT_FALSE(TwainClient::CallbackMessages().empty());
  EXPECT_EQ(TwainClient::CallbackMessages().front(), MSG_XFERREADY);
  TW_IMAGEINFO info{};
  EXPECT_EQ(client.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
}

// Conformance from the outside in: cases generated from what the source itself offers, each value
// set, read back and looked for in the device; and what document-scanning applications do with
// a feeder (buffers of the source's own sizes, a stop after a front, an area beside the bed).
class FromOutsideTest : public ConformanceTest {
protected:
  using Item = std::vector<uint8_t>;

  // The item of `type` at `at` of a container; empty past its end.
  static Item ItemAt(const std::vector<uint8_t> &c, size_t at, TW_UINT16 type) {
    const size_t n = ItemBytes(type);
    return n && at + n <= c.size() ? Item(c.begin() + at, c.begin() + at + n) : Item();
  }
  static double Number(TW_UINT16 type, const Item &item) {
    int32_t v = 0;
    std::memcpy(&v, item.data(), std::min<size_t>(item.size(), 4));
    switch (type) {
    case TWTY_INT8:
      return int8_t(v);
    case TWTY_INT16:
      return int16_t(v);
    case TWTY_INT32:
      return v;
    case TWTY_FIX32:
      return int16_t(v) + (uint32_t(v) >> 16) / 65536.0;
    default:
      return ItemBytes(type) == 4 ? double(uint32_t(v)) : double(uint32_t(v) & ((1u << 8 * item.size()) - 1));
    }
  }
  static Item FromNumber(TW_UINT16 type, double n) {
    const auto scaled = int32_t(std::lround(type == TWTY_FIX32 ? n * 65536 : n));
    const uint32_t bits =
        type == TWTY_FIX32 ? (uint32_t(scaled) << 16 | uint32_t(scaled) >> 16) : uint32_t(scaled);
    Item item(ItemBytes(type));
    std::memcpy(item.data(), &bits, item.size());
    return item;
  }

  // Every value MSG_GET's container offers: each item, both booleans, a range's ends and a step
  // between.
  static std::vector<Item> Offered(TW_UINT16 conType, const std::vector<uint8_t> &c, TW_UINT16 type) {
    std::vector<Item> values;
    if (conType == TWON_ONEVALUE)
      return type == TWTY_BOOL ? std::vector<Item>{{0, 0}, {1, 0}} : std::vector<Item>{ItemAt(c, 2, type)};
    if (conType == TWON_RANGE) {
      const double lo = Number(type, ItemAt(c, 2, type)), hi = Number(type, ItemAt(c, 6, type));
      const double step = Number(type, ItemAt(c, 10, type));
      return {ItemAt(c, 2, type), ItemAt(c, 6, type),
              FromNumber(type, lo + (step > 0 ? std::floor((hi - lo) / step / 2) * step : 0))};
    }
    TW_UINT32 n = 0;
    std::memcpy(&n, c.data() + 2, 4);
    for (TW_UINT32 i = 0; conType == TWON_ENUMERATION && i < n; ++i)
      values.push_back(ItemAt(c, TW_ENUMERATION_HEADER_SIZE + i * ItemBytes(type), type));
    return values;
  }

  Answer SetItem(TW_UINT16 cap, TW_UINT16 type, const Item &item) {
    std::vector<uint8_t> one(2 + std::max<size_t>(4, item.size()));
    std::memcpy(one.data(), &type, 2);
    std::memcpy(one.data() + 2, item.data(), item.size());
    Answer a{SendContainer(client, cap, MSG_SET, TWON_ONEVALUE, one), 0};
    if (a.rc == TWRC_FAILURE)
      a.cc = client.ConditionCode();
    return a;
  }
  // The one-value MSG_GETCURRENT or MSG_GETDEFAULT gives.
  Item Read(TW_UINT16 cap, TW_UINT16 msg, TW_UINT16 type) {
    TW_UINT16 conType = 0;
    std::vector<uint8_t> c;
    return client.GetCap(cap, msg, conType, c) == TWRC_SUCCESS ? ItemAt(c, 2, type) : Item();
  }
  // MSG_GET's current and default, as its container holds them.
  std::pair<Item, Item> Held(TW_UINT16 cap, TW_UINT16 type) {
    TW_UINT16 conType = 0;
    std::vector<uint8_t> c;
    client.GetCap(cap, MSG_GET, conType, c);
    TW_UINT32 index[2] = {};
    if (conType == TWON_ENUMERATION && c.size() >= TW_ENUMERATION_HEADER_SIZE) {
      std::memcpy(index, c.data() + 6, 8);
      const size_t n = ItemBytes(type);
      return {ItemAt(c, TW_ENUMERATION_HEADER_SIZE + index[0] * n, type),
              ItemAt(c, TW_ENUMERATION_HEADER_SIZE + index[1] * n, type)};
    }
    if (conType == TWON_RANGE)
      return {ItemAt(c, 18, type), ItemAt(c, 14, type)};
    return {ItemAt(c, 2, type), Read(cap, MSG_GETDEFAULT, type)};
  }
  // The device's last line for the option a capability's value sets.
  std::string LastOptionLine(const std::string &line) {
    const std::string log = Under().deviceLog(), name = line.substr(0, line.find(" = ") + 3);
    const size_t at = log.rfind(name);
    return at == std::string::npos ? std::string() : log.substr(at, log.find('\n', at) - at);
  }
};

TEST_F(FromOutsideTest, EveryOfferedValueIsSetReadBackAndSeenInTheDeviceAndResetGivesTheDefault) {
  TW_UINT16 conType = 0;
  std::vector<uint8_t> list;
  ASSERT_EQ(client.GetCap(CAP_SUPPORTEDCAPS, MSG_GET, conType, list), TWRC_SUCCESS);
  TW_UINT32 count = 0;
  std::memcpy(&count, list.data() + 2, 4);
  std::vector<TW_UINT16> caps(count);
  std::memcpy(caps.data(), list.data() + TW_ARRAY_HEADER_SIZE, count * 2);
  std::map<TW_UINT16, Item> defaults;
  size_t cases = 0;
  // A count, as applications ask for one: the resets give back -1, every page there is.
  // -1 is taken however the application types it (the resets below need 5 first).
  for (TW_UINT16 as : {TWTY_INT16, TWTY_INT32, TWTY_UINT16, TWTY_UINT32}) {
    EXPECT_EQ(
        client.SetOneValue(CAP_XFERCOUNT, as, as == TWTY_INT16 || as == TWTY_UINT16 ? 0xFFFF : 0xFFFFFFFF),
        TWRC_SUCCESS)
        << "-1 as type " << as;
  }
  EXPECT_EQ(client.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 5), TWRC_SUCCESS);
  defaults[CAP_XFERCOUNT] = Item{0xFF, 0xFF};
  for (TW_UINT16 cap : caps) {
    SCOPED_TRACE("cap 0x" + [&] {
      char b[8];
      std::snprintf(b, sizeof b, "%04X", cap);
      return std::string(b);
    }());
    std::vector<uint8_t> got, support;
    ASSERT_EQ(client.GetCap(cap, MSG_QUERYSUPPORT, conType, support), TWRC_SUCCESS);
    ASSERT_EQ(client.GetCap(cap, MSG_GET, conType, got), TWRC_SUCCESS);
    TW_INT32 bits = 0;
    std::memcpy(&bits, support.data() + 2, 4);
    TW_UINT16 type = 0;
    std::memcpy(&type, got.data(), 2);
    if (!(bits & TWQC_SET)) {
      // Every value it lists is tried too: refused as QUERYSUPPORT says, or the one it holds taken.
      for (const Item &v : Offered(conType, got, type)) {
        const Answer a = SetItem(cap, type, v);
        EXPECT_TRUE(a == kBadOperation || (a == kSuccess && Read(cap, MSG_GETCURRENT, type) == v))
            << "value " << Number(type, v) << ": " << Text(a);
        ++cases;
      }
      continue;
    }
    const Item def = Read(cap, MSG_GETDEFAULT, type);
    const std::vector<Item> offered = Offered(conType, got, type);
    for (const Item &v : offered) {
      SCOPED_TRACE("value " + std::to_string(Number(type, v)));
      const bool changes = Read(cap, MSG_GETCURRENT, type) != v;
      // In its own type, and as the 32-bit number an application may hold it in.
      const TW_UINT16 wide = type == TWTY_INT8 || type == TWTY_INT16 ? TWTY_INT32 : TWTY_UINT32;
      const bool widens = ItemBytes(type) < 4 && type != TWTY_FRAME;
      for (TW_UINT16 as : {type, widens ? wide : type}) {
        const Answer a = SetItem(cap, as, as == type ? v : FromNumber(as, Number(type, v)));
        EXPECT_TRUE(a == kSuccess) << "set as type " << as << ": " << Text(a);
        EXPECT_TRUE(Read(cap, MSG_GETCURRENT, type) == v) << "read back";
        EXPECT_TRUE(Held(cap, type) == std::make_pair(v, def)) << "MSG_GET's current and default";
        cases += 3;
      }
      const std::string line = Under().optionLine(cap, Number(type, v));
      if (changes && !line.empty()) {
        EXPECT_EQ(LastOptionLine(line), line) << "the device's option";
      }
      if (v != def)
        defaults[cap] = def;
    }
    // The source's own enumeration with another current is taken; one of its count with other
    // items is a constraint it does not keep.
    if (conType == TWON_ENUMERATION && offered.size() > 1 && type != TWTY_FRAME) {
      std::vector<uint8_t> mine = got, others = got;
      const TW_UINT32 last = TW_UINT32(offered.size() - 1);
      std::memcpy(mine.data() + 6, &last, 4);
      for (size_t i = 0; i < offered.size(); ++i)
        std::memcpy(others.data() + TW_ENUMERATION_HEADER_SIZE + i * ItemBytes(type), offered[0].data(),
                    ItemBytes(type));
      std::memset(others.data() + 6, 0, 4);
      EXPECT_EQ(SendContainer(client, cap, MSG_SET, TWON_ENUMERATION, mine), TWRC_SUCCESS);
      EXPECT_TRUE(Read(cap, MSG_GETCURRENT, type) == offered.back());
      EXPECT_EQ(SendContainer(client, cap, MSG_SET, TWON_ENUMERATION, others), TWRC_CHECKSTATUS);
      EXPECT_TRUE(Read(cap, MSG_GETCURRENT, type) == offered.front());
      cases += 2;
    }
    TW_CAPABILITY reset{cap, TWON_DONTCARE16, nullptr};
    EXPECT_TRUE(Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &reset) == kSuccess);
    win::UniqueGlobal resetContainer(reset.hContainer);
    EXPECT_TRUE(Read(cap, MSG_GETCURRENT, type) == def) << "MSG_RESET";
    if (defaults.count(cap)) // away from the default again, for the reset of all
      for (const Item &v : offered)
        if (v != def && SetItem(cap, type, v) == kSuccess)
          break;
    ++cases;
  }
  TW_CAPABILITY all{0, TWON_DONTCARE16, nullptr};
  EXPECT_TRUE(Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &all) == kSuccess);
  for (const auto &d : defaults) {
    std::vector<uint8_t> c;
    TW_UINT16 type = 0;
    if (client.GetCap(d.first, MSG_GETCURRENT, conType, c) == TWRC_SUCCESS && c.size() >= 2)
      std::memcpy(&type, c.data(), 2);
    EXPECT_TRUE(ItemAt(c, 2, type) == d.second) << "MSG_RESETALL left cap " << d.first;
  }
  std::printf("[ figure   ] %s: offered values set, read back and reset: %zu cases\n", Under().kind.c_str(),
              cases + defaults.size());
}

// One batch by memory transfer, every page read with buffers of the source's own MinBufSize (or
// its Preferred size), asked for before the page's description: how many whole pages came. With
// `stopAt` pages ended, MSG_STOPFEEDER: its count must be what MSG_GET then says, and what comes.
int ReadBatch(TwainClient &client, bool minimal, int stopAt = -1, TW_IMAGEINFO *last = nullptr) {
  EXPECT_EQ(client.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
  EXPECT_EQ(client.Enable(false), TWRC_SUCCESS);
  int whole = 0, ended = 0, promised = -1;
  TW_PENDINGXFERS pending{};
  if (client.WaitForMessage() == MSG_XFERREADY)
    do {
      if (ended == stopAt) {
        EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &pending), TWRC_SUCCESS);
        TW_PENDINGXFERS now{};
        EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &now), TWRC_SUCCESS);
        EXPECT_EQ(now.Count, pending.Count) << "MSG_GET after the stop";
        promised = pending.Count;
      }
      TW_IMAGEINFO info{};
      TW_SETUPMEMXFER setup{};
      EXPECT_EQ(client.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
      EXPECT_EQ(client.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
      std::vector<uint8_t> buffer(minimal ? setup.MinBufSize : setup.Preferred);
      size_t bytes = 0;
      for (TW_UINT16 rc = TWRC_SUCCESS; rc == TWRC_SUCCESS;) {
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, TW_UINT32(buffer.size()), buffer.data()};
        rc = client.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        bytes += rc == TWRC_SUCCESS || rc == TWRC_XFERDONE ? xfer.BytesWritten : 0;
        whole += rc == TWRC_XFERDONE && info.ImageLength > 0 &&
                 bytes == size_t(xfer.BytesPerRow) * info.ImageLength;
      }
      if (last)
        *last = info;
      EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
      ++ended;
    } while (pending.Count != 0 && ended < 40);
  if (promised >= 0) {
    EXPECT_EQ(ended - stopAt, promised) << "pages after the stop";
  }
  TW_USERINTERFACE ui{};
  client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  return whole;
}

// Duplex on where the source can turn it on; false where it cannot.
bool DuplexOn(TwainClient &client) {
  return client.SetOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, 1) == TWRC_SUCCESS;
}

TEST_F(FromOutsideTest, ThreeDuplexSheetsOfASlowDeviceComeWholeWithBuffersOfTheSourcesOwnSizes) {
  if (!DuplexOn(client))
    GTEST_SKIP() << "no duplex to turn on";
  for (bool minimal : {true, false}) {
    SCOPED_TRACE(minimal ? "MinBufSize" : "Preferred");
    Under().loadFeeder(3, minimal ? "read-delay 150\n" : "");
    EXPECT_EQ(ReadBatch(client, minimal), 6);
  }
}

TEST_F(FromOutsideTest, AStopGivesTheBackOfTheSheetInThePathAndTheNextBatchTakesTheRest) {
  if (!DuplexOn(client))
    GTEST_SKIP() << "no duplex to turn on";
  Under().loadFeeder(4, "");
  // With sheet 1's front in hand, then after sheet 2's front: each time the back still comes.
  EXPECT_EQ(ReadBatch(client, false, 0), 2);
  EXPECT_EQ(ReadBatch(client, false, 1), 2);
  const std::string log = Under().deviceLog();
  EXPECT_NE(log.find("sheet 2 back"), std::string::npos) << log;
  EXPECT_EQ(log.find("sheet 3 front"), std::string::npos) << "a sheet started after the stop";
  EXPECT_EQ(ReadBatch(client, false), 4) << "the next batch ends early";
}

// Whatever pixel type is set, the page comes with the type and depth the capabilities then say
// (a current value that agrees with itself but not with the device fails here); and a set whose
// enumeration holds an item the capability's type cannot hold is refused, wherever that item is.
TEST_F(FromOutsideTest, ThePageHasThePixelTypeAndDepthTheCapabilitiesSay) {
  TW_UINT16 conType = 0;
  std::vector<uint8_t> got;
  ASSERT_EQ(client.GetCap(ICAP_PIXELTYPE, MSG_GET, conType, got), TWRC_SUCCESS);
  for (const Item &type : Offered(conType, got, TWTY_UINT16)) {
    SCOPED_TRACE("pixel type " + std::to_string(Number(TWTY_UINT16, type)));
    ASSERT_TRUE(SetItem(ICAP_PIXELTYPE, TWTY_UINT16, type) == kSuccess);
    const Item depth = Read(ICAP_BITDEPTH, MSG_GETCURRENT, TWTY_UINT16);
    Under().loadFeeder(1, "");
    TW_IMAGEINFO info{};
    EXPECT_EQ(ReadBatch(client, false, -1, &info), 1);
    EXPECT_EQ(info.PixelType, Number(TWTY_UINT16, type));
    EXPECT_EQ(info.BitsPerPixel, Number(TWTY_UINT16, depth));
  }
  std::vector<uint8_t> wide(TW_ENUMERATION_HEADER_SIZE + 8);
  const TW_UINT16 itemType = TWTY_UINT32;
  const TW_UINT32 header[3] = {2, 1, 1},
                  items[2] = {0x10000, TW_UINT32(Number(TWTY_UINT16, Offered(conType, got, TWTY_UINT16)[0]))};
  std::memcpy(wide.data(), &itemType, 2);
  std::memcpy(wide.data() + 2, header, sizeof header);
  std::memcpy(wide.data() + TW_ENUMERATION_HEADER_SIZE, items, sizeof items);
  EXPECT_EQ(SendContainer(client, ICAP_PIXELTYPE, MSG_SET, TWON_ENUMERATION, wide), TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_BADVALUE);
}

TEST_F(FromOutsideTest, AnAreaBesideTheBedIsRefused) {
  ImageLayout layout{};
  ASSERT_EQ(client.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
  layout.frame = TW_FRAME{{30000, 0}, {30000, 0}, {30001, 0}, {30001, 0}};
  const Answer a = Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
  std::vector<uint8_t> frame(2 + sizeof(TW_FRAME));
  const TW_UINT16 frameType = TWTY_FRAME;
  std::memcpy(frame.data(), &frameType, 2);
  std::memcpy(frame.data() + 2, &layout.frame, sizeof(TW_FRAME));
  const TW_UINT16 rc = SendContainer(client, 0x1114 /* ICAP_FRAMES */, MSG_SET, TWON_ONEVALUE, frame);
  EXPECT_TRUE(a == (Answer{TWRC_FAILURE, TWCC_BADVALUE})) << "DAT_IMAGELAYOUT: " << Text(a);
  EXPECT_EQ(rc, TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_BADVALUE) << "ICAP_FRAMES";
}

TEST_F(FromOutsideTest, ASourceOpenedAgainWithoutACallbackTellsThroughTheSourceManager) {
  ASSERT_EQ(client.RegisterCallback(), TWRC_SUCCESS);
  // Held in memory between the sessions, as by a source manager that keeps its sources loaded.
  const win::UniqueLibrary held(::LoadLibraryA("C:\\windows\\twain_32\\sane.ds"));
  ASSERT_TRUE(held);
  ASSERT_EQ(client.CloseSource(), TWRC_SUCCESS);
  ASSERT_EQ(client.OpenSource(Under().productName), TWRC_SUCCESS);
  Under().loadFeeder(1, "");
  ASSERT_EQ(client.Enable(false), TWRC_SUCCESS);
  // The application's loop dispatches its messages and offers the source manager's own to the
  // source, as applications of the source manager's callback era do.
  const UINT managerEvent = ::RegisterWindowMessageA("WINE TWAIN_32 EVENT");
  TW_UINT16 told = MSG_NULL;
  for (int i = 0; i < 400 && told == MSG_NULL && TwainClient::CallbackMessages().empty(); ++i) {
    MSG m;
    while (told == MSG_NULL && ::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TW_EVENT event{&m, MSG_NULL};
      if (m.message != managerEvent)
        ::DispatchMessageA(&m);
      else if (client.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT)
        told = event.TWMessage;
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  EXPECT_TRUE(TwainClient::CallbackMessages().empty()) << "the callback of the session before was called";
  EXPECT_EQ(told, MSG_XFERREADY);
}

} // namespace

// Through a 2.x source manager (the program run with TOVIK_TWAIN_MANAGER naming it): an
// application that registered a callback hears of the page only there, as such applications do
// (what DAT_EVENT hands back is ignored); one without, only from its DAT_EVENT. Either way every
// transfer mechanism brings the page.
class ThroughVersion2ManagerTest : public ::testing::Test {
protected:
  TW_UINT16 WaitAsApplication(TwainClient &client, bool callback) {
    for (int i = 0; i < 1200 && TwainClient::CallbackMessages().empty(); ++i) {
      MSG m;
      while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TW_EVENT event{&m, MSG_NULL};
        if (client.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) != TWRC_DSEVENT)
          ::DispatchMessageA(&m);
        else if (!callback && event.TWMessage != MSG_NULL)
          return event.TWMessage;
      }
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return callback && !TwainClient::CallbackMessages().empty() ? TwainClient::CallbackMessages().front()
                                                                : MSG_NULL;
  }

  // The page's bytes as the mechanism delivered them; 0 when it did not come whole.
  static size_t Transfer(TwainClient &client, TW_UINT16 mechanism, const TW_IMAGEINFO &info) {
    if (mechanism == TWSX_NATIVE) {
      HGLOBAL dib = nullptr;
      if (client.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) != TWRC_XFERDONE)
        return 0;
      win::UniqueGlobal owned(dib);
      win::GlobalLockGuard lock(owned.get());
      const auto *header = static_cast<const BITMAPINFOHEADER *>(lock.data());
      return lock.size() > sizeof *header && header->biWidth == info.ImageWidth ? lock.size() : 0;
    }
    if (mechanism == TWSX_FILE) {
      TW_SETUPFILEXFER setup{};
      std::strcpy(setup.FileName, TempFile("conformance-v2.bmp").c_str());
      setup.Format = TWFF_BMP;
      ::DeleteFileA(setup.FileName);
      if (client.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS ||
          client.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr) != TWRC_XFERDONE)
        return 0;
      std::ifstream file(setup.FileName, std::ios::binary | std::ios::ate);
      return file ? size_t(file.tellg()) : 0;
    }
    TW_SETUPMEMXFER setup{};
    client.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    std::vector<uint8_t> buffer(setup.Preferred);
    size_t bytes = 0;
    for (TW_UINT16 rc = TWRC_SUCCESS; rc == TWRC_SUCCESS;) {
      TW_IMAGEMEMXFER xfer{};
      xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, TW_UINT32(buffer.size()), buffer.data()};
      rc = client.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
      bytes += rc == TWRC_SUCCESS || rc == TWRC_XFERDONE ? xfer.BytesWritten : 0;
      if (rc == TWRC_XFERDONE)
        return bytes == size_t(xfer.BytesPerRow) * size_t(info.ImageLength) ? bytes : 0;
    }
    return 0;
  }
};

TEST_F(ThroughVersion2ManagerTest, ApplicationsWithAndWithoutACallbackGetThePageByEveryMechanism) {
  if (!TwainClient::Version2Manager())
    GTEST_SKIP() << "run through Wine's source manager";
  for (bool callback : {false, true})
    for (TW_UINT16 mechanism : {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE}) {
      SCOPED_TRACE(std::string(callback ? "callback" : "DAT_EVENT") + ", mechanism " +
                   std::to_string(mechanism));
      Under().loadFeeder(1, "");
      // An application of its own for each: the manager keeps a callback for the application's
      // later sessions, and lists each source's identity as it was when it was opened.
      TwainClient client;
      ASSERT_EQ(client.OpenSource(Under().productName), TWRC_SUCCESS);
      TwainClient::CallbackMessages().clear();
      if (callback) {
        ASSERT_EQ(client.RegisterCallback(DAT_CALLBACK), TWRC_SUCCESS);
      }
      ASSERT_EQ(client.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
      ASSERT_EQ(client.Enable(false), TWRC_SUCCESS);
      ASSERT_EQ(WaitAsApplication(client, callback), MSG_XFERREADY);
      TW_IMAGEINFO info{};
      ASSERT_EQ(client.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
      EXPECT_GT(Transfer(client, mechanism, info), 0u) << "the page did not come whole";
      TW_PENDINGXFERS pending{};
      EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
      TW_USERINTERFACE ui{};
      EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    }
}
