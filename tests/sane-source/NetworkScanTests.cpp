// The bridge on a scanner shared over the network: SANE's network server (saned) on 127.0.0.1
// serves the fixture backend and SANE's tester (scripts/saned.sh), and the bridge reaches them
// only through SANE's net backend, as an office's PC reaches the scanner on another machine.
#include "tests/sane-source/TwainClient.h"

#include "tests/fixtures/station-driver/StationDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace e2e;

namespace {

// The Wine side's SANE configuration folder, where saned.sh also takes the tests' requests.
std::string ConfigFile(const std::string &name) {
  const char *dir = std::getenv("SANE_CONFIG_DIR");
  return WindowsPath(std::string(dir ? dir : "") + "/" + name);
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Stops or starts the server, and waits until saned.sh says it is done.
bool Server(const std::string &request, const std::string &answer) {
  WriteText(ConfigFile("saned-control"), request);
  return WaitFor([&] { return ReadFileText(ConfigFile("saned-control")).rfind(answer, 0) == 0; });
}

// The bridge lists the devices in `sections` under their names, with their options; the listing
// it kept from before is forgotten.
void Configure(const std::string &sections) {
  const std::string ini = ConfigFile("sane-source.ini");
  WriteText(ini, sections);
  ::SetEnvironmentVariableA("TOVIK_SANE_SOURCE_CONFIG", ini.c_str());
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  ::DeleteFileA((std::string(temp) + "tovik-sane-devices.txt").c_str());
}

bool Lists(sanetest::TwainClient &client, const std::string &name) {
  const std::vector<std::string> names = client.SourceNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Where no network of the run's own could be made, sane-test.sh says why.
#define SKIP_WITHOUT_NETWORK()                                                                               \
  do {                                                                                                       \
    if (const char *why = std::getenv("TOVIK_SANE_NET_SKIP"))                                                \
      GTEST_SKIP() << why;                                                                                   \
  } while (false)

TEST(BridgeOverNetwork, FeederAndDuplexSetThroughTwainGiveEverySide) {
  SKIP_WITHOUT_NETWORK();
  struct Row {
    const char *device;
    const char *options;
    bool duplex;
    size_t pages;
    int firstLevel; // of each page's first pixel, by sheet and side (0: not checked)
  };
  // The fixture's two sheets front and back (grey 16 + 28 per sheet, 14 more on the back), and the
  // tester's feeder of ten sheets: the configuration leaves duplex and the feeder off, TWAIN turns
  // them on.
  const Row rows[] = {
      {"net:127.0.0.1:tovik:kvs1025", "option mode = Gray\noption resolution = 50\noption duplex = no\n",
       true, 4, 16},
      {"net:127.0.0.1:test:0", "option source = Flatbed\n", false, 10, 0},
  };
  WriteText(ConfigFile("tovik-fixture.conf"), "devices kvs1025\nsheets 2\nload net\n");
  for (const Row &row : rows) {
    SCOPED_TRACE(row.device);
    Configure(std::string("[") + row.device + "]\nname = KV-S over the network\n" + row.options);
    sanetest::TwainClient client;
    ASSERT_EQ(client.OpenSource("KV-S over the network"), TWRC_SUCCESS);
    ASSERT_EQ(client.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, TRUE), TWRC_SUCCESS) << client.ConditionCode();
    if (row.duplex) {
      ASSERT_EQ(client.SetOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, TRUE), TWRC_SUCCESS)
          << client.ConditionCode();
    }
    const sanetest::Batch batch = client.Scan();
    EXPECT_TRUE(batch.failures.empty());
    ASSERT_EQ(batch.pages.size(), row.pages);
    for (size_t i = 0; i < batch.pages.size() && row.firstLevel; ++i) {
      ASSERT_FALSE(batch.pages[i].rows.empty());
      EXPECT_EQ(batch.pages[i].rows[0], row.firstLevel + 28 * int(i / 2) + 14 * int(i % 2)) << "page " << i;
    }
  }
}

// The source itself, as a source manager calls it: Wine's answers TWCC_OPERATIONERROR of its own
// to any MSG_OPENDS that failed, where a manager that asks the source passes its reason on.
struct DirectCall {
  TW_UINT16 rc = 0;
  TW_UINT16 cc = 0;
};
DirectCall AskSource(TW_UINT16 dat, TW_UINT16 msg, void *data) {
  win::UniqueLibrary module(::LoadLibraryA("C:\\windows\\twain_32\\sane.ds"));
  const auto entry = module ? reinterpret_cast<DSENTRYPROC>(
                                  reinterpret_cast<void *>(::GetProcAddress(module.get(), "DS_Entry")))
                            : nullptr;
  if (!entry)
    return DirectCall{TWRC_FAILURE, 0xFFFF};
  TW_IDENTITY app{};
  app.Id = 1;
  DirectCall call;
  call.rc = entry(&app, DG_CONTROL, dat, msg, data);
  TW_STATUS status{};
  entry(&app, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  call.cc = status.ConditionCode;
  return call;
}

TEST(BridgeOverNetwork, AStoppedServerFailsTheOpenAsOfflineAndIsNoLongerListed) {
  SKIP_WITHOUT_NETWORK();
  const std::string name = "KV-S over the network";
  Configure("[net:127.0.0.1:test:0]\nname = " + name + "\n");
  {
    sanetest::TwainClient client;
    ASSERT_TRUE(Lists(client, name));
  }
  ASSERT_TRUE(Server("stop", "stopped"));
  {
    // The bridge's kept listing still offers the device: opening it finds the server gone.
    sanetest::TwainClient client;
    EXPECT_EQ(client.OpenSource(name), TWRC_FAILURE);
  }
  TW_IDENTITY wanted{};
  std::snprintf(wanted.ProductName, sizeof wanted.ProductName, "%s", name.c_str());
  const DirectCall open = AskSource(DAT_IDENTITY, MSG_OPENDS, &wanted);
  EXPECT_EQ(open.rc, TWRC_FAILURE);
  EXPECT_EQ(open.cc, TWCC_CHECKDEVICEONLINE);
  // What the bridge lists now is what SANE sees: nothing.
  TW_IDENTITY listed{};
  EXPECT_EQ(AskSource(DAT_IDENTITY, MSG_GET, &listed).cc, TWCC_NODS) << listed.ProductName;
  ASSERT_TRUE(Server("start", "started"));
  sanetest::TwainClient client;
  EXPECT_TRUE(Lists(client, name));
}

} // namespace
