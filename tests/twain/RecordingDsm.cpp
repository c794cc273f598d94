#include "RecordingDsm.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace rdsm {

size_t DataSize(TW_UINT16 dat) {
  switch (dat) {
  case DAT_CAPABILITY:
    return sizeof(TW_CAPABILITY);
  case DAT_EVENT:
    return sizeof(TW_EVENT);
  case DAT_IDENTITY:
    return sizeof(TW_IDENTITY);
  case DAT_PARENT:
    return sizeof(HWND);
  case DAT_PENDINGXFERS:
    return sizeof(TW_PENDINGXFERS);
  case DAT_SETUPMEMXFER:
    return sizeof(TW_SETUPMEMXFER);
  case DAT_SETUPFILEXFER:
    return sizeof(TW_SETUPFILEXFER);
  case DAT_STATUS:
    return sizeof(TW_STATUS);
  case DAT_USERINTERFACE:
    return sizeof(TW_USERINTERFACE);
  case DAT_IMAGEINFO:
    return sizeof(TW_IMAGEINFO);
  case DAT_IMAGEMEMXFER:
    return sizeof(TW_IMAGEMEMXFER);
  case DAT_IMAGENATIVEXFER:
    return sizeof(TW_UINT32);
  case DAT_PALETTE8:
    return sizeof(TW_PALETTE8);
  default:
    return 0;
  }
}

TRecordingDsm &TRecordingDsm::Instance() {
  static TRecordingDsm instance;
  return instance;
}

void TRecordingDsm::Reset() {
  calls_.clear();
  states_.clear();
  violations_.clear();
  queued_.clear();
  defaults_.clear();
  onCall = nullptr;
}

void TRecordingDsm::ClearScript() {
  calls_.clear();
  queued_.clear();
  defaults_.clear();
}

void TRecordingDsm::Queue(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TAnswer answer) {
  queued_[Key{dg, dat, msg}].push_back(std::move(answer));
}

void TRecordingDsm::SetDefault(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TAnswer answer) {
  defaults_[Key{dg, dat, msg}] = std::move(answer);
}

size_t TRecordingDsm::Pending() const {
  size_t count = 0;
  for (const auto &entry : queued_)
    count += entry.second.size();
  return count;
}

TW_IDENTITY TRecordingDsm::MakeIdentity(uint32_t id, const std::string &productName) {
  TW_IDENTITY identity;
  std::memset(&identity, 0, sizeof identity);
  identity.Id = id;
  identity.Version.MajorNum = 1;
  identity.Version.Language = TWLG_USA;
  identity.Version.Country = TWCY_USA;
  std::strncpy(identity.Version.Info, "1.0", sizeof identity.Version.Info - 1);
  identity.ProtocolMajor = 1;
  identity.ProtocolMinor = 9;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strncpy(identity.Manufacturer, "Recording", sizeof identity.Manufacturer - 1);
  std::strncpy(identity.ProductFamily, "Test", sizeof identity.ProductFamily - 1);
  std::strncpy(identity.ProductName, productName.c_str(), sizeof identity.ProductName - 1);
  return identity;
}

void TRecordingDsm::QueueSources(int count, const std::vector<std::string> &names) {
  for (int i = 0; i < count; ++i) {
    std::string name =
        static_cast<size_t>(i) < names.size() ? names[static_cast<size_t>(i)] : "Source " + std::to_string(i);
    Queue(DG_CONTROL, DAT_IDENTITY, i == 0 ? MSG_GETFIRST : MSG_GETNEXT,
          Record(MakeIdentity(100u + static_cast<uint32_t>(i), name)));
  }
}

std::vector<std::string> TRecordingDsm::Trace(size_t from) const {
  std::vector<std::string> names;
  for (size_t i = from; i < calls_.size(); ++i)
    names.push_back(TripletName(calls_[i].dg, calls_[i].dat, calls_[i].msg));
  return names;
}

size_t TRecordingDsm::CountOf(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) const {
  return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(),
                                           [&](const TRecordedCall &c) { return c.Is(dg, dat, msg); }));
}

TAnswer TRecordingDsm::DefaultAnswer(const Key &key) const {
  auto found = defaults_.find(key);
  if (found != defaults_.end())
    return found->second;
  TW_UINT16 dat = std::get<1>(key);
  TW_UINT16 msg = std::get<2>(key);
  if (dat == DAT_IDENTITY && (msg == MSG_GETFIRST || msg == MSG_GETNEXT))
    return Rc(TWRC_ENDOFLIST);
  if (dat == DAT_EVENT && msg == MSG_PROCESSEVENT)
    return Rc(TWRC_NOTDSEVENT);
  if (dat == DAT_IDENTITY && msg == MSG_GETDEFAULT)
    return Rc(TWRC_FAILURE);
  switch (dat) {
  case DAT_CAPABILITY:
  case DAT_IMAGEINFO:
  case DAT_IMAGEMEMXFER:
  case DAT_IMAGENATIVEXFER:
  case DAT_IMAGEFILEXFER:
  case DAT_PALETTE8:
    return Rc(TWRC_FAILURE);
  default:
    return Rc(TWRC_SUCCESS);
  }
}

TW_UINT16 TRecordingDsm::Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                               TW_UINT16 msg, TW_MEMREF data) {
  TRecordedCall call;
  call.origin = origin;
  call.dest = dest;
  call.dg = dg;
  call.dat = dat;
  call.msg = msg;
  call.pData = data;
  if (data) {
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    call.data.assign(bytes, bytes + DataSize(dat));
  }
  // A runaway loop in the layer ends here instead of hanging the test program.
  if (calls_.size() > 200000) {
    call.rc = TWRC_FAILURE;
    calls_.push_back(call);
    return TWRC_FAILURE;
  }
  if (onCall)
    onCall(call);

  Key key{dg, dat, msg};
  TAnswer answer;
  auto queue = queued_.find(key);
  if (queue != queued_.end() && !queue->second.empty()) {
    answer = std::move(queue->second.front());
    queue->second.erase(queue->second.begin());
  } else {
    answer = DefaultAnswer(key);
  }
  call.rc = answer.rc;
  CheckState(call);
  calls_.push_back(call);
  if (data && !answer.bytes.empty())
    std::memcpy(static_cast<uint8_t *>(data) + answer.offset, answer.bytes.data(), answer.bytes.size());
  if (answer.action)
    answer.action(data);
  MoveState(call, data);
  return answer.rc;
}

namespace {

// The source a triplet is about: its destination, or the identity record of OPENDS / CLOSEDS.
const TW_IDENTITY *SourceOf(const TRecordedCall &call) {
  if (call.dg == DG_CONTROL && call.dat == DAT_IDENTITY &&
      (call.msg == MSG_OPENDS || call.msg == MSG_CLOSEDS))
    return static_cast<const TW_IDENTITY *>(call.pData);
  return call.dest;
}

// States in which the standard lets an application send a triplet to a source.
struct TAllowed {
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg; // 0xFFFF: any message of the DAT
  int low, high;
};
constexpr TW_UINT16 kAnyMsg = 0xFFFF;
constexpr TAllowed kAllowed[] = {
    {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, 3, 3},
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, 4, 4},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 4, 4},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 5, 5},
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, 5, 7},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET, 4, 4},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, 4, 4},
    {DG_CONTROL, DAT_CAPABILITY, kAnyMsg, 4, 7},
    {DG_CONTROL, DAT_STATUS, MSG_GET, 4, 7},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, 4, 6},
    {DG_CONTROL, DAT_SETUPFILEXFER, kAnyMsg, 4, 6},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, 6, 7},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, 6, 6},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, 6, 6},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, 4, 7},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, 6, 7},
    {DG_IMAGE, DAT_PALETTE8, MSG_GET, 4, 7},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, 6, 7},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, 6, 6},
    {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, 6, 6},
};

} // namespace

int TRecordingDsm::StateOf(TW_UINT32 id) const {
  auto found = states_.find(id);
  return found == states_.end() ? 3 : found->second;
}

void TRecordingDsm::CheckState(const TRecordedCall &call) {
  const TW_IDENTITY *source = SourceOf(call);
  if (!source)
    return; // a triplet for the source manager itself
  const int state = StateOf(source->Id);
  for (const TAllowed &a : kAllowed)
    if (a.dg == call.dg && a.dat == call.dat && (a.msg == call.msg || a.msg == kAnyMsg)) {
      if (state < a.low || state > a.high)
        violations_.push_back(TripletName(call.dg, call.dat, call.msg) + " in state " +
                              std::to_string(state));
      return;
    }
}

void TRecordingDsm::MoveState(const TRecordedCall &call, TW_MEMREF data) {
  const TW_IDENTITY *source = SourceOf(call);
  if (!source)
    return;
  int &state = states_.emplace(source->Id, 3).first->second;
  const bool ok = call.rc == TWRC_SUCCESS;
  if (call.Is(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS) && ok && state == 3)
    state = 4;
  else if (call.Is(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS) && ok && state == 4)
    state = 3;
  else if (call.Is(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS) && (ok || call.rc == TWRC_CHECKSTATUS) &&
           state == 4)
    state = 5;
  else if (call.Is(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS) && ok && state == 5)
    state = 4;
  else if (call.Is(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT) && call.rc == TWRC_DSEVENT && data &&
           state == 5 && static_cast<const TW_EVENT *>(data)->TWMessage == MSG_XFERREADY)
    state = 6;
  else if (call.Is(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER) && ok && data && state >= 6)
    state = static_cast<const TW_PENDINGXFERS *>(data)->Count != 0 ? 6 : 5;
  else if (call.Is(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET) && ok && state == 6)
    state = 5;
  else if (call.dg == DG_IMAGE &&
           (call.dat == DAT_IMAGEMEMXFER || call.dat == DAT_IMAGENATIVEXFER ||
            call.dat == DAT_IMAGEFILEXFER) &&
           (ok || call.rc == TWRC_XFERDONE || call.rc == TWRC_CANCEL) && state == 6)
    state = 7;
}

TW_UINT16 WINAPI RecordingDsmEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                                   TW_UINT16 msg, TW_MEMREF data) {
  return Dsm().Entry(origin, dest, dg, dat, msg, data);
}

std::string TripletName(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
  auto hex = [](unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return std::string(text);
  };
  std::string g = dg == DG_CONTROL ? "CONTROL"
                  : dg == DG_IMAGE ? "IMAGE"
                  : dg == DG_AUDIO ? "AUDIO"
                                   : hex(dg);
  static const std::map<TW_UINT16, const char *> dats = {
      {DAT_NULL, "NULL"},
      {DAT_CAPABILITY, "CAPABILITY"},
      {DAT_EVENT, "EVENT"},
      {DAT_IDENTITY, "IDENTITY"},
      {DAT_PARENT, "PARENT"},
      {DAT_PENDINGXFERS, "PENDINGXFERS"},
      {DAT_SETUPMEMXFER, "SETUPMEMXFER"},
      {DAT_SETUPFILEXFER, "SETUPFILEXFER"},
      {DAT_STATUS, "STATUS"},
      {DAT_USERINTERFACE, "USERINTERFACE"},
      {DAT_XFERGROUP, "XFERGROUP"},
      {DAT_IMAGEINFO, "IMAGEINFO"},
      {DAT_IMAGELAYOUT, "IMAGELAYOUT"},
      {DAT_IMAGEMEMXFER, "IMAGEMEMXFER"},
      {DAT_IMAGENATIVEXFER, "IMAGENATIVEXFER"},
      {DAT_IMAGEFILEXFER, "IMAGEFILEXFER"},
      {DAT_PALETTE8, "PALETTE8"},
  };
  static const std::map<TW_UINT16, const char *> msgs = {
      {MSG_NULL, "NULL"},
      {MSG_GET, "GET"},
      {MSG_GETCURRENT, "GETCURRENT"},
      {MSG_GETDEFAULT, "GETDEFAULT"},
      {MSG_GETFIRST, "GETFIRST"},
      {MSG_GETNEXT, "GETNEXT"},
      {MSG_SET, "SET"},
      {MSG_RESET, "RESET"},
      {MSG_QUERYSUPPORT, "QUERYSUPPORT"},
      {MSG_XFERREADY, "XFERREADY"},
      {MSG_CLOSEDSREQ, "CLOSEDSREQ"},
      {MSG_CLOSEDSOK, "CLOSEDSOK"},
      {MSG_DEVICEEVENT, "DEVICEEVENT"},
      {MSG_OPENDSM, "OPENDSM"},
      {MSG_CLOSEDSM, "CLOSEDSM"},
      {MSG_OPENDS, "OPENDS"},
      {MSG_CLOSEDS, "CLOSEDS"},
      {MSG_USERSELECT, "USERSELECT"},
      {MSG_DISABLEDS, "DISABLEDS"},
      {MSG_ENABLEDS, "ENABLEDS"},
      {MSG_ENABLEDSUIONLY, "ENABLEDSUIONLY"},
      {MSG_PROCESSEVENT, "PROCESSEVENT"},
      {MSG_ENDXFER, "ENDXFER"},
      {MSG_STOPFEEDER, "STOPFEEDER"},
  };
  auto d = dats.find(dat);
  auto m = msgs.find(msg);
  return g + "/" + (d != dats.end() ? d->second : hex(dat)) + "/" + (m != msgs.end() ? m->second : hex(msg));
}

TAnswer Rc(TW_UINT16 rc) {
  TAnswer answer;
  answer.rc = rc;
  return answer;
}

TAnswer Status(TW_UINT16 conditionCode) {
  TW_STATUS status{conditionCode, 0};
  return Record(status);
}

TAnswer Event(TW_UINT16 rc, TW_UINT16 twMessage) {
  return Record(twMessage, rc, offsetof(TW_EVENT, TWMessage));
}

TAnswer Pending(TW_UINT16 count, TW_UINT16 rc) {
  TW_PENDINGXFERS pending;
  std::memset(&pending, 0, sizeof pending);
  pending.Count = count;
  return Record(pending, rc);
}

TAnswer SetupMem(TW_UINT32 minBuf, TW_UINT32 maxBuf, TW_UINT32 preferred, TW_UINT16 rc) {
  TW_SETUPMEMXFER setup{minBuf, maxBuf, preferred};
  return Record(setup, rc);
}

TAnswer ImageInfo(int32_t width, int32_t length, int16_t bitsPerPixel, int16_t pixelType, TW_FIX32 xRes,
                  TW_FIX32 yRes) {
  TW_IMAGEINFO info;
  std::memset(&info, 0, sizeof info);
  info.XResolution = xRes;
  info.YResolution = yRes;
  info.ImageWidth = width;
  info.ImageLength = length;
  info.SamplesPerPixel = pixelType == TWPT_RGB ? 3 : 1;
  info.BitsPerPixel = bitsPerPixel;
  info.PixelType = pixelType;
  return Record(info);
}

namespace {

TAnswer Container(TW_UINT16 conType, std::vector<uint8_t> bytes) {
  TAnswer answer;
  answer.rc = TWRC_SUCCESS;
  answer.action = [conType, bytes](TW_MEMREF data) {
    HGLOBAL block = ::GlobalAlloc(GHND, bytes.size());
    if (void *p = ::GlobalLock(block)) {
      std::memcpy(p, bytes.data(), bytes.size());
      ::GlobalUnlock(block);
    }
    TW_CAPABILITY *cap = static_cast<TW_CAPABILITY *>(data);
    cap->ConType = conType;
    cap->hContainer = block;
  };
  return answer;
}

template <typename T> void Append(std::vector<uint8_t> &bytes, T value) {
  const uint8_t *p = reinterpret_cast<const uint8_t *>(&value);
  bytes.insert(bytes.end(), p, p + sizeof(T));
}

} // namespace

TAnswer CapEnumUint16(const std::vector<uint16_t> &items, uint32_t current, uint32_t defaultIndex,
                      TW_UINT16 itemType) {
  std::vector<uint8_t> bytes;
  Append<uint16_t>(bytes, itemType);
  Append<uint32_t>(bytes, static_cast<uint32_t>(items.size()));
  Append<uint32_t>(bytes, current);
  Append<uint32_t>(bytes, defaultIndex);
  for (uint16_t item : items)
    Append<uint16_t>(bytes, item);
  return Container(TWON_ENUMERATION, bytes);
}

TAnswer CapOneValue(TW_UINT16 itemType, uint32_t value) {
  std::vector<uint8_t> bytes;
  Append<uint16_t>(bytes, itemType);
  Append<uint32_t>(bytes, value);
  return Container(TWON_ONEVALUE, bytes);
}

TAnswer Strip(const std::vector<uint8_t> &bytes, TW_UINT16 rc, uint32_t bytesPerRow, int64_t bytesWritten) {
  TAnswer answer;
  answer.rc = rc;
  answer.action = [bytes, bytesPerRow, bytesWritten](TW_MEMREF data) {
    TW_IMAGEMEMXFER *xfer = static_cast<TW_IMAGEMEMXFER *>(data);
    size_t n = std::min<size_t>(bytes.size(), xfer->Memory.Length);
    if (n)
      std::memcpy(xfer->Memory.TheMem, bytes.data(), n);
    xfer->Compression = 0;
    xfer->BytesPerRow = bytesPerRow;
    xfer->BytesWritten =
        bytesWritten >= 0 ? static_cast<TW_UINT32>(bytesWritten) : static_cast<TW_UINT32>(bytes.size());
  };
  return answer;
}

TAnswer Palette(const TW_PALETTE8 &palette, TW_UINT16 rc) { return Record(palette, rc); }

TAnswer Native(HGLOBAL dib, TW_UINT16 rc) {
  TW_UINT32 handle = static_cast<TW_UINT32>(reinterpret_cast<uintptr_t>(dib));
  return Record(handle, rc);
}

TAnswer FileSetup(const std::string &name, TW_UINT16 format, TW_UINT16 rc) {
  TW_SETUPFILEXFER setup;
  std::memset(&setup, 0, sizeof setup);
  std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
  setup.Format = format;
  return Record(setup, rc);
}

} // namespace rdsm
