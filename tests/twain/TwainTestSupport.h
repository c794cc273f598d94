// Shared fixture of the TWAIN layer's unit tests: a manager attached to the recording source
// manager, and a log of the events it raises.
#pragma once

#include "RecordingDsm.h"

#include "twain/KestraTwain.h"
#include "twain/TwainBitmap.h"
#include "twain/TwainSource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using StringList = std::vector<std::string>;

class TwainFixture : public ::testing::Test {
protected:
  void SetUp() override {
    rdsm::Dsm().Reset();
    twain = std::make_unique<TKestraTwain>();
    ASSERT_TRUE(twain->AttachEntry(rdsm::RecordingDsmEntry));
  }
  void TearDown() override {
    twain.reset();
    EXPECT_EQ(rdsm::Dsm().Violations(), std::vector<std::string>{}) << "triplets sent out of state";
    rdsm::Dsm().Reset();
  }

  // Opens the connection with `sources` listed sources (not yet enumerated).
  void Connect(int sources = 1) {
    rdsm::Dsm().QueueSources(sources);
    twain->SetSourceManagerLoaded(true);
    ASSERT_TRUE(twain->SourceManagerLoaded());
  }
  // Connects, lists, opens source `index` and forgets the calls so far.
  TTwainSource *OpenSource(int sources = 1, int index = 0) {
    Connect(sources);
    TTwainSource *source = twain->Source(index);
    EXPECT_NE(source, nullptr);
    if (!source)
      return nullptr;
    EXPECT_TRUE(source->Open());
    rdsm::Dsm().ClearCalls();
    return source;
  }
  TTwainSource *EnableSource(int sources = 1, int index = 0) {
    TTwainSource *source = OpenSource(sources, index);
    if (!source)
      return nullptr;
    EXPECT_TRUE(source->Enable(false, false));
    rdsm::Dsm().ClearCalls();
    return source;
  }

  // Records every event as a line of text.
  void LogEvents() {
    TKestraTwain *manager = twain.get(); // twain.get() is null while the manager is being destroyed
    twain->OnSourceDisable = [this, manager](TKestraTwain *sender, int index) {
      EXPECT_EQ(sender, manager);
      events.push_back("disable " + std::to_string(index));
    };
    twain->OnAcquireCancel = [this, manager](TKestraTwain *sender, int index) {
      EXPECT_EQ(sender, manager);
      events.push_back("cancel " + std::to_string(index));
    };
    twain->OnAcquireError = [this, manager](TKestraTwain *sender, int index, int errorCode, int additional) {
      EXPECT_EQ(sender, manager);
      events.push_back("error " + std::to_string(index) + " " + std::to_string(errorCode) + " " +
                       std::to_string(additional));
    };
    twain->OnSourceSetupFileXfer = [this, manager](TKestraTwain *sender, int index) {
      EXPECT_EQ(sender, manager);
      events.push_back("setupfile " + std::to_string(index));
    };
  }

  std::vector<std::string> Trace(size_t from = 0) const { return rdsm::Dsm().Trace(from); }

  std::unique_ptr<TKestraTwain> twain;
  StringList events;
};
