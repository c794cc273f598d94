#include "sources/sane-source/Bridge.h"

#include "sources/common/EntryPointRecord.h"
#include "sources/common/TwainText.h"
#include "sources/sane-source/DocumentOptions.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace sanesrc {

using dscommon::CopyText;
using dscommon::FieldText;

namespace {

std::string ConfigPath() {
  char buf[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableA("TOVIK_SANE_SOURCE_CONFIG", buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH)
    return std::string(buf, n);
  n = ::GetWindowsDirectoryA(buf, MAX_PATH);
  return std::string(buf, n < MAX_PATH ? n : 0) + "\\twain_32\\sane-source.ini";
}

BridgeConfig ReadConfig() {
  std::string text;
  unsigned age = 0;
  std::vector<std::string> errors; // a line not understood is skipped
  return ReadTextFile(ConfigPath(), text, age) ? ParseConfig(text, errors) : BridgeConfig{};
}

constexpr DWORD kEarlierOwnerBoundMs = 20000;

bool OnlyLooks(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
  if (dg != DG_CONTROL)
    return false;
  switch (dat) {
  case DAT_STATUS:
  case DAT_EVENT:
    return true;
  case DAT_CAPABILITY:
    return msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT || msg == MSG_QUERYSUPPORT;
  case DAT_IDENTITY:
  case DAT_PENDINGXFERS:
    return msg == MSG_GET;
  default:
    return false;
  }
}

} // namespace

TW_UINT16 Bridge::Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  Result result;
  try {
    // While a sheet is read, the application's windows run (see WaitForSheet): a call they make
    // then may only look, not change the session under the triplet that waits.
    if (waiting_ && !OnlyLooks(dg, dat, msg))
      result = AskDuringWait(dg, dat, msg, data);
    else
      result = Route(origin, dg, dat, msg, data);
    if (!waiting_)
      FinishAskedEnd();
  } catch (const std::bad_alloc &) {
    result = Result{TWRC_FAILURE, TWCC_LOWMEMORY};
  }
  return Conclude(dg, dat, result);
}

Bridge::Result Bridge::AskDuringWait(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dg == DG_CONTROL && dat == DAT_PENDINGXFERS && data && (msg == MSG_RESET || msg == MSG_STOPFEEDER)) {
    auto *pending = static_cast<TW_PENDINGXFERS *>(data);
    // A stop lets a sheet whose image is being read come (and its back); a sheet still awaited is
    // not in the path yet, so a stop then ends the batch as a reset does.
    stopFeeder_ = true;
    cancelAsked_ = cancelAsked_ || msg == MSG_RESET || awaitingStart_;
    pending->Count = msg == MSG_RESET ? 0 : PendingCount();
    pending->EOJ = 0;
    return Result{};
  }
  if (dg == DG_CONTROL && dat == DAT_USERINTERFACE && msg == MSG_DISABLEDS) {
    cancelAsked_ = disableAsked_ = true;
    return Result{};
  }
  if (dg == DG_CONTROL && dat == DAT_IDENTITY && msg == MSG_CLOSEDS) {
    cancelAsked_ = closeAsked_ = true;
    return Result{};
  }
  return Result{TWRC_FAILURE, TWCC_SEQERROR};
}

void Bridge::FinishAskedEnd() {
  if (closeAsked_)
    CloseSource();
  else if (disableAsked_)
    Disable();
}

void Bridge::LoadDevices(bool fresh) {
  config_ = ReadConfig();
  devices_ = ListDevices(fresh);
  names_ = ProductNames(devices_, config_);
}

void Bridge::FillIdentity(TW_IDENTITY &identity, size_t device) const {
  const TW_UINT32 id = identity.Id;
  identity = TW_IDENTITY{};
  identity.Id = id;
  identity.Version.MajorNum = 1;
  identity.Version.MinorNum = 0;
  identity.Version.Language = TWLG_USA;
  identity.Version.Country = TWCY_USA;
  CopyText(identity.Version.Info, sizeof identity.Version.Info, "Tovik SANE source 1.0");
  identity.ProtocolMajor = dscommon::kProtocolMajor;
  identity.ProtocolMinor = dscommon::kProtocolMinor;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE | dscommon::DF_DS2;
  CopyText(identity.Manufacturer, sizeof identity.Manufacturer, devices_[device].vendor);
  CopyText(identity.ProductFamily, sizeof identity.ProductFamily, devices_[device].model);
  CopyText(identity.ProductName, sizeof identity.ProductName, names_[device]);
}

Bridge::Result Bridge::Identity(pTW_IDENTITY origin, TW_UINT16 msg, TW_IDENTITY *identity) {
  switch (msg) {
  case MSG_GET: {
    if (state_ > 3) {
      *identity = link_.Self();
      return Result{};
    }
    // Each device once, then the first again: the source manager stops listing when a name
    // repeats, and the next listing starts over (and reads the list again).
    if (enumeration_ % (devices_.size() + 1) == 0)
      LoadDevices(false);
    if (devices_.empty())
      return Result{TWRC_FAILURE, TWCC_NODS};
    const size_t position = enumeration_++ % (devices_.size() + 1);
    FillIdentity(*identity, position == devices_.size() ? 0 : position);
    return Result{};
  }
  case MSG_OPENDS:
    return OpenSource(origin, identity);
  case MSG_CLOSEDS:
    return CloseSource();
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
}

Bridge::Result Bridge::OpenSource(pTW_IDENTITY origin, TW_IDENTITY *identity) {
  if (state_ != 3)
    return Result{TWRC_FAILURE, TWCC_MAXCONNECTIONS};
  const std::string wanted = FieldText(identity->ProductName, sizeof identity->ProductName);
  // The device of the session before may still be finishing its cancel and close; a device that
  // does not answer in that time is not waited for longer.
  DeviceOwner::WaitForEarlierOwners(kEarlierOwnerBoundMs);
  LoadDevices(false); // the configuration may have changed since the listing
  auto found = std::find(names_.begin(), names_.end(), wanted);
  if (found == names_.end() && !wanted.empty()) { // the cached list is out of date
    LoadDevices(true);
    found = std::find(names_.begin(), names_.end(), wanted);
  }
  // A device that is gone is not replaced by another; no name at all means the first.
  if (found == names_.end() && !wanted.empty())
    return Result{TWRC_FAILURE, TWCC_CHECKDEVICEONLINE};
  if (devices_.empty())
    return Result{TWRC_FAILURE, TWCC_NODS};
  size_t index = found == names_.end() ? 0 : size_t(found - names_.begin());
  std::unique_ptr<DeviceOwner> device;
  int status = DeviceOwner::Open(devices_[index].name, device);
  if (status != int(SaneStatus::Good)) {
    // A USB device plugged in again has a new SANE name: a fresh listing finds it by its
    // vendor and model, when just one device has them. A device the fresh listing no longer has
    // (unplugged, its scanner server stopped) is not there, whatever its backend answered.
    const DeviceEntry kept = devices_[index];
    LoadDevices(true);
    const std::optional<size_t> again = FindByModel(devices_, kept);
    const bool listed = std::any_of(devices_.begin(), devices_.end(),
                                    [&](const DeviceEntry &d) { return d.name == kept.name; });
    if (!listed && !again)
      return Result{TWRC_FAILURE, TWCC_CHECKDEVICEONLINE};
    if (again && devices_[*again].name != kept.name) {
      index = *again;
      status = DeviceOwner::Open(devices_[index].name, device);
    }
    if (status != int(SaneStatus::Good))
      return Result{TWRC_FAILURE, MeaningOf(status).cc};
  }
  device_ = std::move(device);
  if (const DeviceConfig *own = config_.Find(devices_[index]))
    device_->Run([own](SaneDevice &device) {
      for (const auto &option : own->options)
        device.WriteText(option.first, option.second); // an option the device refuses keeps its value
    });
  session_ = SessionCaps{};
  ReadOptions();
  defaults_ = options_;
  // The source manager gave the record its Id: keep using that record's identity as our origin.
  TW_IDENTITY self = *identity;
  FillIdentity(self, index);
  self.Id = identity->Id;
  *identity = self;
  link_.Open(self, origin);
  hasWindow_ = notifier_.Create([this](WPARAM token) { OnPosted(token); });
  indicators_ = true;
  undefinedImageSize_ = false;
  char temp[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathA(MAX_PATH, temp);
  defaultFileName_ = std::string(temp, n <= MAX_PATH ? n : 0) + "TovikSaneScan.bmp";
  fileName_ = defaultFileName_;
  AddCapabilities();
  pending_ = Pending::None;
  state_ = 4;
  return Result{};
}

// In any state from 4: a batch still going ends first (an application closing after an error or at
// its end need not disable first), and the device is left to its owner to close.
Bridge::Result Bridge::CloseSource() {
  EndBatch();
  closeAsked_ = disableAsked_ = false;
  showingUi_ = false;
  pending_ = Pending::None;
  window_.Close();
  notifier_.Destroy();
  device_.reset();
  ++token_;
  state_ = 3;
  return Result{};
}

void Bridge::ReadOptions() {
  // A device still finishing a cancel answers later: until then the source answers from what it
  // read last.
  if (device_ && !device_->Busy())
    device_->Run([this](SaneDevice &device) { options_ = device.ReadOptions(); });
  // Paper in the feeder: the device's sensor where it has one. A device without one can only
  // tell by feeding (sane_start answers NO_DOCS at once when it is empty), so it says yes: an
  // application's automatic start then tries a batch, which ends quietly on an empty feeder. Never
  // with the flatbed selected, so that such an application does not scan the glass for ever.
  const FeederState feeder = ReadFeeder(options_);
  session_.feederLoaded = feeder.feederEnabled && feeder.paperSensed.value_or(true);
}

Bridge::Result Bridge::UserInterface(TW_UINT16 msg, TW_USERINTERFACE *ui) {
  switch (msg) {
  case MSG_ENABLEDS:
  case MSG_ENABLEDSUIONLY: {
    ReadOptions();
    const bool settingsOnly = msg == MSG_ENABLEDSUIONLY;
    state_ = 5;
    ++token_;
    showingUi_ = settingsOnly || ui->ShowUI;
    if (showingUi_) {
      // The person starts the scan (or closes the window): nothing is read from the device yet.
      const WPARAM token = token_;
      const bool shown =
          window_.Show(link_.Self().ProductName, SettingsText(options_), dscommon::WindowAnswer::Interactive,
                       0, settingsOnly, [this, token](dscommon::WindowChoice c) {
                         if (token != token_)
                           return;
                         if (c == dscommon::WindowChoice::Scan)
                           StartBatch();
                         else
                           Notify(c == dscommon::WindowChoice::Ok ? Pending::CloseOk : Pending::CloseRequest);
                       });
      if (!shown) {
        state_ = 4;
        showingUi_ = false;
        return Result{TWRC_FAILURE, TWCC_OPERATIONERROR};
      }
      return Result{};
    }
    StartBatch();
    return Result{};
  }
  case MSG_DISABLEDS:
    Disable();
    return Result{};
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
}

void Bridge::Disable() {
  EndBatch();
  disableAsked_ = false;
  window_.Close();
  showingUi_ = false;
  pending_ = Pending::None;
  ++token_;
  state_ = 4;
}

void Bridge::StartBatch() {
  ReadOptions();
  const FeederState feeder = ReadFeeder(options_);
  feederBatch_ = feeder.feederEnabled;
  duplexBatch_ = feeder.duplexEnabled;
  stopFeeder_ = false;
  cancelAsked_ = false;
  closeAfterBatch_ = false;
  pagesDone_ = 0;
  StartPage(true);
}

void Bridge::AfterBatch() {
  if (state_ == 5 && showingUi_) {
    ReadOptions();
    window_.ShowAgain(SettingsText(options_));
  }
}

void Bridge::StartPage(bool first) {
  offset_ = 0;
  pageFailed_ = false;
  const WPARAM token = token_;
  scan_ = device_->ReadPage(notifier_.Poster(token));
  // Without a window of our own (no message queue), the application is told at once.
  if (first && !hasWindow_) {
    scan_->Wait();
    Notify(Pending::XferReady);
  }
}

void Bridge::OnPosted(WPARAM token) {
  if (token != token_ || state_ != 5)
    return;
  if (pending_ == Pending::None && scan_ && scan_->Finished())
    pending_ = Pending::XferReady;
  const TW_UINT16 msg = TakePendingMessage();
  if (msg != MSG_NULL)
    link_.Send(msg);
}

TW_UINT16 Bridge::TakePendingMessage() {
  const Pending what = std::exchange(pending_, Pending::None);
  if (state_ != 5)
    return MSG_NULL;
  if (what == Pending::CloseRequest)
    return MSG_CLOSEDSREQ;
  if (what == Pending::CloseOk)
    return MSG_CLOSEDSOK;
  if (what != Pending::XferReady || !scan_)
    return MSG_NULL;
  // An empty feeder at the first sheet: nothing to transfer, so the application is asked to
  // close the source, as when a person cancels.
  if (scan_->Wait().status == int(SaneStatus::NoDocs)) {
    session_.feederLoaded = false;
    EndBatch();
    if (showingUi_) { // the window stays for the person, who may load paper and scan again
      AfterBatch();
      return MSG_NULL;
    }
    return MSG_CLOSEDSREQ;
  }
  state_ = 6;
  return MSG_XFERREADY;
}

void Bridge::Notify(Pending what) {
  pending_ = what;
  if (!notifier_.Post(token_))
    OnPosted(token_);
}

Bridge::Result Bridge::ProcessEvent(TW_EVENT *event) {
  event->TWMessage = MSG_NULL;
  const MSG *message = static_cast<const MSG *>(event->pEvent);
  // A 2.x manager hears every notification through DAT_NULL: our posted message goes on to the
  // application's DispatchMessage, and our window sends it there.
  if (!message || link_.ManagerNotifies())
    return Result{TWRC_NOTDSEVENT, TWCC_SUCCESS};
  // Our own posted notification, offered by an application that asks before dispatching.
  if (notifier_.IsPostedMessage(*message) && message->wParam == token_ && state_ == 5) {
    if (pending_ == Pending::None && scan_ && scan_->Finished())
      pending_ = Pending::XferReady;
    event->TWMessage = TakePendingMessage();
    return Result{TWRC_DSEVENT, TWCC_SUCCESS};
  }
  return Result{TWRC_NOTDSEVENT, TWCC_SUCCESS};
}

Bridge::Result Bridge::Capability(TW_UINT16 msg, TW_CAPABILITY *cap) {
  if (state_ == 4)
    ReadOptions();
  return caps_.Answer(msg, *cap);
}

} // namespace sanesrc
