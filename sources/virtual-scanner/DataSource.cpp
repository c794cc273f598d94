#include "sources/virtual-scanner/DataSource.h"

#include "sources/common/TwainText.h"

#include "sources/common/Module.h"
#include "sources/virtual-scanner/TripletNames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <utility>

namespace vscan {

using dscommon::CopyText;
using dscommon::FieldText;

namespace {

std::string Hex(uintptr_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
  return buf;
}

std::string ScenarioPath() {
  char buf[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableA("TOVIK_VSCANNER_SCENARIO", buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH)
    return std::string(buf, n);
  return dscommon::ModuleFolder() + "virtual-scanner.ini";
}

dscommon::WindowAnswer WindowAnswerOf(DialogAnswer answer) {
  switch (answer) {
  case DialogAnswer::Scan:
    return dscommon::WindowAnswer::Scan;
  case DialogAnswer::Cancel:
    return dscommon::WindowAnswer::Cancel;
  case DialogAnswer::Interactive:
    break;
  }
  return dscommon::WindowAnswer::Interactive;
}

} // namespace

void DataSource::LoadScenario() {
  scenario_ = Scenario();
  std::vector<std::string> errors;
  const std::string path = ScenarioPath();
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in) {
    std::ostringstream read;
    read << in.rdbuf();
    text = read.str();
    ParseScenario(text, scenario_, errors);
  }
  scenarioLoaded_ = true;
  log_.SetPath(scenario_.logPath);
  // A `once` fault stays spent while the same scenario is read again (at the next open).
  if (text != scenarioText_ || faultFired_.size() != scenario_.faults.size())
    faultFired_.assign(scenario_.faults.size(), false);
  scenarioText_ = text;
  format_ = FormatOf(scenario_);
  for (const std::string &e : errors)
    log_.Write("note", 0, 0, 0, 0, 0, "scenario_error=\"" + e + "\"");
}

TW_UINT16 DataSource::Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  const bool identityRequest =
      dg == DG_CONTROL && dat == DAT_IDENTITY && (msg == MSG_GET || msg == MSG_OPENDS);
  // Re-read at every enumeration and open, so a test can change it between runs.
  if (!scenarioLoaded_ || (identityRequest && state_ == 3))
    LoadScenario();
  notes_.clear();
  Result result;
  if (!ApplyFault(dg, dat, msg, data, result)) {
    try {
      result = Route(origin, dg, dat, msg, data);
    } catch (const std::bad_alloc &) {
      result = Result{TWRC_FAILURE, TWCC_LOWMEMORY}; // e.g. a page too large for the process
    }
  }
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET && data && log_.On())
    notes_ = "ConditionCode=" + std::to_string(static_cast<TW_STATUS *>(data)->ConditionCode);
  Conclude(dg, dat, result);
  if (log_.On()) {
    // The state after the triplet, so a test can tell where the session was left.
    notes_ += (notes_.empty() ? "state=" : " state=") + std::to_string(state_);
    log_.Write("in", dg, dat, msg, result.rc, result.cc, notes_);
  }
  return result.rc;
}

bool DataSource::ApplyFault(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, Result &result) {
  for (size_t i = 0; i < scenario_.faults.size(); ++i) {
    const Fault &f = scenario_.faults[i];
    if (f.dg != dg || f.dat != dat || f.msg != msg)
      continue;
    if (f.page != 0 && !(feeder_.InBatch() && feeder_.Page() == f.page))
      continue;
    if (f.once && faultFired_[i])
      continue;
    faultFired_[i] = true;
    result.rc = f.rc;
    result.cc = f.cc;
    if (dg == DG_CONTROL && dat == DAT_STATUS && data)
      static_cast<TW_STATUS *>(data)->ConditionCode = f.cc;
    notes_ = "fault=1";
    return true;
  }
  return false;
}

void DataSource::FillIdentity(TW_IDENTITY &identity, size_t device) const {
  const TW_UINT32 id = identity.Id;
  identity = TW_IDENTITY{};
  identity.Id = id;
  identity.Version.MajorNum = 1;
  identity.Version.MinorNum = 0;
  identity.Version.Language = TWLG_USA;
  identity.Version.Country = TWCY_USA;
  CopyText(identity.Version.Info, sizeof identity.Version.Info, "Tovik virtual scanner 1.0");
  identity.ProtocolMajor = dscommon::kProtocolMajor;
  identity.ProtocolMinor = dscommon::kProtocolMinor;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE | dscommon::DF_DS2;
  CopyText(identity.Manufacturer, sizeof identity.Manufacturer, scenario_.manufacturer);
  CopyText(identity.ProductFamily, sizeof identity.ProductFamily, scenario_.productFamily);
  CopyText(identity.ProductName, sizeof identity.ProductName,
           scenario_.devices[device % scenario_.devices.size()]);
}

DataSource::Result DataSource::Identity(pTW_IDENTITY origin, TW_UINT16 msg, TW_IDENTITY *identity) {
  switch (msg) {
  case MSG_GET: {
    if (state_ > 3) {
      *identity = link_.Self();
    } else {
      // Each device once, then the first again: the source manager stops listing when a name
      // repeats, and the next listing starts over with the first device.
      const size_t count = scenario_.devices.size();
      const size_t position = enumeration_++ % (count + 1);
      FillIdentity(*identity, position == count ? 0 : position);
    }
    notes_ = "name=\"" + FieldText(identity->ProductName, sizeof identity->ProductName) + "\"";
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

DataSource::Result DataSource::OpenSource(pTW_IDENTITY origin, TW_IDENTITY *identity) {
  if (state_ != 3)
    return Result{TWRC_FAILURE, TWCC_MAXCONNECTIONS};
  const std::string wanted = FieldText(identity->ProductName, sizeof identity->ProductName);
  device_ = 0;
  for (size_t i = 0; i < scenario_.devices.size(); ++i)
    if (scenario_.devices[i] == wanted)
      device_ = i;
  // The source manager gave the record its Id: keep using that record's identity as our origin.
  TW_IDENTITY self = *identity;
  if (self.ProductName[0] == '\0')
    FillIdentity(self, device_);
  link_.Open(self, origin);
  feeder_.Load(scenario_);
  capState_ = CapabilityState{};
  capState_.doubleFeedResponse = scenario_.paperFault.pending ? kStopAndWait : 0;
  paperFaultDone_ = paperFaultNext_ = false;
  AddCapabilities(caps_, scenario_, capState_);
  for (TW_UINT16 m : {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY})
    if (!MechanismWorks(scenario_, capState_.xferMech) && MechanismWorks(scenario_, m))
      capState_.xferMech = m;
  fileName_ = scenario_.fileName;
  if (fileName_.empty()) {
    char temp[MAX_PATH] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH, temp);
    fileName_ = std::string(temp, n < MAX_PATH ? n : 0) + "TovikVirtualScan.bmp";
  }
  defaultFileName_ = fileName_;
  notifier_.Create([this](WPARAM token) { OnPosted(token); });
  pending_ = Pending::None;
  EndPageData();
  state_ = 4;
  notes_ = "Id=" + std::to_string(link_.Self().Id) + " name=\"" + scenario_.devices[device_] + "\"";
  return Result{};
}

// In any state from 4: a batch still going ends first (its sheets not begun stay in the feeder).
DataSource::Result DataSource::CloseSource() {
  if (feeder_.InBatch())
    feeder_.Reset();
  EndPageData();
  showingUi_ = false;
  dialog_.Close();
  notifier_.Destroy();
  pending_ = Pending::None;
  ++token_;
  state_ = 3;
  return Result{};
}

std::string DataSource::DialogText() {
  return std::to_string(feeder_.SheetsInFeeder()) + " sheet(s) in the feeder, " +
         (scenario_.sides == 2 ? "duplex" : "simplex") + ".\nScan them?";
}

DataSource::Result DataSource::UserInterface(TW_UINT16 msg, TW_USERINTERFACE *ui) {
  switch (msg) {
  case MSG_ENABLEDS:
  case MSG_ENABLEDSUIONLY: {
    notes_ = "ShowUI=" + std::to_string(ui->ShowUI) + " ModalUI=" + std::to_string(ui->ModalUI) +
             " hParent=" + Hex(reinterpret_cast<uintptr_t>(ui->hParent));
    const bool settingsOnly = msg == MSG_ENABLEDSUIONLY;
    state_ = 5;
    ++token_;
    showingUi_ = settingsOnly || ui->ShowUI;
    if (showingUi_) {
      const WPARAM token = token_;
      const bool shown = dialog_.Show(
          scenario_.devices[device_ % scenario_.devices.size()],
          settingsOnly ? "Settings of the virtual scanner." : DialogText(), WindowAnswerOf(scenario_.dialog),
          scenario_.dialogDelayMs, settingsOnly, [this, token](dscommon::WindowChoice c) {
            if (token == token_)
              RequestNotification(c == dscommon::WindowChoice::Scan ? Pending::Scan
                                  : c == dscommon::WindowChoice::Ok ? Pending::CloseOk
                                                                    : Pending::CloseRequest);
          });
      if (!shown) {
        state_ = 4;
        showingUi_ = false;
        return Result{TWRC_FAILURE, TWCC_OPERATIONERROR};
      }
    } else {
      RequestNotification(Pending::Scan);
    }
    if (scenario_.modalEnable)
      RunModalLoop();
    return Result{};
  }
  case MSG_DISABLEDS:
    dialog_.Close();
    showingUi_ = false;
    pending_ = Pending::None;
    ++token_;
    state_ = 4;
    return Result{};
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
}

void DataSource::AfterBatch() {
  // With its window shown, the source stays enabled after a batch until the person closes it.
  if (state_ == 5 && showingUi_)
    dialog_.ShowAgain(DialogText());
}

namespace {

// Dispatches what waits in this thread's queue; false when the application is quitting (the
// WM_QUIT is put back for its own loop).
bool DispatchWaiting() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return true;
}

} // namespace

void DataSource::RunModalLoop() {
  const std::string notes = notes_;
  constexpr DWORD kLimitMs = 60000;
  const DWORD start = ::GetTickCount();
  while (state_ >= 5 && ::GetTickCount() - start < kLimitMs && DispatchWaiting())
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  notes_ = notes;
}

void DataSource::WaitForPaper() {
  constexpr DWORD kSliceMs = 50;
  for (DWORD waited = 0; waited < static_cast<DWORD>(scenario_.paperWaitMs); waited += kSliceMs) {
    if (scenario_.pumpMessages)
      PumpMessages();
    ::Sleep(kSliceMs);
  }
  feeder_.StartBatch(); // paper loaded meanwhile (a refill) goes on in the same batch
}

void DataSource::PumpMessages() {
  const std::string notes = notes_;
  DispatchWaiting();
  notes_ = notes;
}

void DataSource::RequestNotification(Pending what) {
  pending_ = what;
  // Without a window to post to (no message queue), tell the application at once.
  if (!notifier_.Post(token_))
    OnPosted(token_);
}

void DataSource::OnPosted(WPARAM token) {
  if (token != token_ || pending_ == Pending::None)
    return;
  const TW_UINT16 msg = TakePendingMessage();
  if (msg != MSG_NULL)
    SendToApplication(msg);
}

TW_UINT16 DataSource::TakePendingMessage() {
  const Pending what = std::exchange(pending_, Pending::None);
  if (state_ != 5)
    return MSG_NULL;
  if (what == Pending::CloseRequest)
    return MSG_CLOSEDSREQ;
  if (what == Pending::CloseOk)
    return MSG_CLOSEDSOK;
  if (what != Pending::Scan)
    return MSG_NULL;
  if (feeder_.StartBatch()) {
    pagesDone_ = 0;
    state_ = 6;
    return MSG_XFERREADY;
  }
  return scenario_.emptyFeeder == EmptyFeeder::CloseRequest ? MSG_CLOSEDSREQ : MSG_NULL;
}

void DataSource::SendToApplication(TW_UINT16 msg) {
  const char *route = "";
  const TW_UINT16 rc = link_.Send(msg, &route);
  const std::string how = route;
  log_.Write("out", DG_CONTROL, DAT_NULL, msg, rc, 0,
             how == "missing"    ? "dsm=missing"
             : how == "callback" ? "callback=1"
                                 : "");
}

DataSource::Result DataSource::ProcessEvent(TW_EVENT *event) {
  event->TWMessage = MSG_NULL;
  const MSG *message = static_cast<const MSG *>(event->pEvent);
  // A 2.x manager hears every notification through DAT_NULL: our posted message goes on to the
  // application's DispatchMessage, and our window sends it there.
  if (!message || link_.ManagerNotifies())
    return Result{TWRC_NOTDSEVENT, TWCC_SUCCESS};
  notes_ = "message=" + Hex(message->message);
  // Our own posted notification, offered by an application that asks before dispatching.
  if (notifier_.IsPostedMessage(*message) && message->wParam == token_ && pending_ != Pending::None) {
    event->TWMessage = TakePendingMessage();
    notes_ += " TWMessage=" + NameOf(NameKind::Msg, event->TWMessage);
    return Result{TWRC_DSEVENT, TWCC_SUCCESS};
  }
  return Result{TWRC_NOTDSEVENT, TWCC_SUCCESS};
}

DataSource::Result DataSource::Capability(TW_UINT16 msg, TW_CAPABILITY *cap) {
  capState_.feederLoaded = feeder_.Loaded();
  char buf[48];
  std::snprintf(buf, sizeof buf, "cap=0x%04X", cap->Cap);
  notes_ = buf;
  if (cap->Cap == CAP_FEEDERLOADED)
    notes_ += std::string(" value=") + (capState_.feederLoaded ? "1" : "0");
  const Result answer = caps_.Answer(msg, *cap);
  if (scenario_.blankDiscardOffered)
    feeder_.DropBlankPages(capState_.discardBlank != -2);
  return answer;
}

DataSource::Result DataSource::PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS *pending) {
  switch (msg) {
  case MSG_GET:
    break;
  case MSG_ENDXFER:
    notes_ = "page=" + std::to_string(feeder_.Page()) + " ";
    feeder_.EndPage();
    // The application asked for this many images: the rest of the batch stays in the feeder.
    if (++pagesDone_ == capState_.xferCount)
      feeder_.Reset();
    else if (!feeder_.InBatch() && !feeder_.Stopped() && scenario_.paperWaitMs > 0)
      WaitForPaper();
    EndPageData();
    state_ = feeder_.InBatch() ? 6 : 5;
    AfterBatch();
    break;
  case MSG_RESET:
    feeder_.Reset();
    EndPageData();
    state_ = 5;
    AfterBatch();
    break;
  case MSG_STOPFEEDER:
    feeder_.StopFeeder();
    break;
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
  pending->Count = static_cast<TW_UINT16>(feeder_.Pending());
  if (msg == MSG_STOPFEEDER && scenario_.stopCountUnknown && pending->Count != 0)
    pending->Count = 0xFFFF; // -1: the driver cannot say how many
  pending->EOJ = 0;
  notes_ += "Count=" + std::to_string(pending->Count);
  return Result{};
}

DataSource::Result DataSource::SetupMemXfer(TW_SETUPMEMXFER *setup) {
  const TW_UINT32 oneStrip = scenario_.stripBytes ? scenario_.stripBytes : TransferRowBytes(format_);
  setup->MinBufSize = scenario_.minBuffer ? scenario_.minBuffer : oneStrip;
  setup->MaxBufSize = scenario_.maxBuffer;
  setup->Preferred = scenario_.preferredBuffer;
  notes_ = "Min=" + std::to_string(setup->MinBufSize) + " Max=" + std::to_string(setup->MaxBufSize) +
           " Preferred=" + std::to_string(setup->Preferred);
  return Result{};
}

DataSource::Result DataSource::SetupFileXfer(TW_UINT16 msg, TW_SETUPFILEXFER *setup) {
  switch (msg) {
  case MSG_SET:
    if (setup->Format != TWFF_BMP)
      return Result{TWRC_FAILURE, TWCC_BADVALUE};
    fileName_ = FieldText(setup->FileName, sizeof setup->FileName);
    break;
  case MSG_RESET:
    fileName_ = defaultFileName_;
    break;
  case MSG_GET:
    break;
  case MSG_GETDEFAULT: {
    const std::string current = std::exchange(fileName_, defaultFileName_);
    CopyText(setup->FileName, sizeof setup->FileName, FileNameForPage());
    fileName_ = current;
    setup->Format = TWFF_BMP;
    setup->VRefNum = 0;
    return Result{};
  }
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
  CopyText(setup->FileName, sizeof setup->FileName, FileNameForPage());
  setup->Format = TWFF_BMP;
  setup->VRefNum = 0;
  notes_ = "FileName=\"" + FileNameForPage() + "\"";
  return Result{};
}

std::string DataSource::FileNameForPage() const {
  std::string name = fileName_;
  const std::string marker = "{page}";
  const size_t at = name.find(marker);
  if (at != std::string::npos)
    name.replace(at, marker.size(), std::to_string(feeder_.Page()));
  return name;
}

} // namespace vscan
