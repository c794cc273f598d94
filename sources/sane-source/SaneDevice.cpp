#include "sources/sane-source/SaneDevice.h"

#include "sources/common/Module.h"
#include "sources/sane-source/DocumentOptions.h"
#include "win/Owners.h"

#include <windows.h>

#include <sane/sane.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace sanesrc {

static_assert(int(SaneFrame::Gray) == SANE_FRAME_GRAY && int(SaneFrame::Rgb) == SANE_FRAME_RGB &&
                  int(SaneFrame::Red) == SANE_FRAME_RED && int(SaneFrame::Green) == SANE_FRAME_GREEN &&
                  int(SaneFrame::Blue) == SANE_FRAME_BLUE,
              "frame formats");
static_assert(int(SaneStatus::Good) == SANE_STATUS_GOOD &&
                  int(SaneStatus::Cancelled) == SANE_STATUS_CANCELLED &&
                  int(SaneStatus::DeviceBusy) == SANE_STATUS_DEVICE_BUSY &&
                  int(SaneStatus::Inval) == SANE_STATUS_INVAL && int(SaneStatus::Eof) == SANE_STATUS_EOF &&
                  int(SaneStatus::Jammed) == SANE_STATUS_JAMMED &&
                  int(SaneStatus::NoDocs) == SANE_STATUS_NO_DOCS &&
                  int(SaneStatus::CoverOpen) == SANE_STATUS_COVER_OPEN &&
                  int(SaneStatus::IoError) == SANE_STATUS_IO_ERROR &&
                  int(SaneStatus::NoMem) == SANE_STATUS_NO_MEM &&
                  int(SaneStatus::AccessDenied) == SANE_STATUS_ACCESS_DENIED &&
                  int(SaneStatus::Unsupported) == SANE_STATUS_UNSUPPORTED,
              "status codes");
static_assert(int(SaneType::Bool) == SANE_TYPE_BOOL && int(SaneType::Int) == SANE_TYPE_INT &&
                  int(SaneType::Fixed) == SANE_TYPE_FIXED && int(SaneType::String) == SANE_TYPE_STRING &&
                  int(SaneType::Button) == SANE_TYPE_BUTTON && int(SaneType::Group) == SANE_TYPE_GROUP,
              "option types");
static_assert(int(SaneUnit::Pixel) == SANE_UNIT_PIXEL && int(SaneUnit::Mm) == SANE_UNIT_MM &&
                  int(SaneUnit::Dpi) == SANE_UNIT_DPI,
              "units");
static_assert(int(SaneConstraint::None) == SANE_CONSTRAINT_NONE &&
                  int(SaneConstraint::Range) == SANE_CONSTRAINT_RANGE &&
                  int(SaneConstraint::WordList) == SANE_CONSTRAINT_WORD_LIST &&
                  int(SaneConstraint::StringList) == SANE_CONSTRAINT_STRING_LIST,
              "constraints");
static_assert(kSaneFixedShift == SANE_FIXED_SCALE_SHIFT && kSaneCapSoftSelect == SANE_CAP_SOFT_SELECT &&
                  kSaneCapInactive == SANE_CAP_INACTIVE && kSaneInfoInexact == SANE_INFO_INEXACT,
              "flags");

namespace {

// SANE for as long as the module is loaded: begun at its first use, ended when the module is
// unloaded or the process ends (DLL_PROCESS_DETACH), the devices still open closed first. Never by a
// static destructor: when a process ends, those run after it has ended for everyone else (its
// devices seen open by the next process), and inside the C library's exit, where SANE's exit
// unloads backends whose own destructors are pending. Its state is never destroyed for the same
// reason (a few bytes, once per load of the module).
struct SaneState {
  std::mutex lock;
  bool begun = false;
  bool ok = false;
  std::vector<SaneDevice *> open;
  std::atomic<int> listing{0}; // threads inside sane_get_devices
};
SaneState &Sane() {
  static SaneState *state = new SaneState;
  return *state;
}

// Never waits: at the process's end the other threads are gone, some perhaps inside SANE (a
// device's owner in the middle of a network exchange, holding what it holds); at an unload the
// loader's lock is held. A device whose owner is inside a call is left to the system (its
// sockets close with the process), and then so is SANE's exit.
void EndSane() {
  SaneState &sane = Sane();
  std::unique_lock<std::mutex> hold(sane.lock, std::try_to_lock);
  bool busy = !hold || sane.listing > 0;
  std::vector<SaneDevice *> open;
  open.swap(sane.open);
  for (SaneDevice *device : open) {
    std::unique_lock<std::mutex> idle(device->CallLock(), std::try_to_lock);
    if (idle)
      device->CloseNow();
    else
      busy = true;
  }
  if (sane.ok && !busy)
    sane_exit();
  sane.begun = sane.ok = false;
}

// A fresh listing starts SANE afresh when no device is open: a backend keeps what it learnt of its
// devices (the net backend its connection to a scanner server, which after the server stopped
// gives it a broken list), and the listing must say what is there now.
void RestartSane() {
  SaneState &sane = Sane();
  std::lock_guard<std::mutex> hold(sane.lock);
  if (sane.begun && sane.open.empty()) {
    if (sane.ok)
      sane_exit();
    sane.begun = sane.ok = false;
  }
}

bool SaneReady() {
  SaneState &sane = Sane();
  std::lock_guard<std::mutex> hold(sane.lock);
  if (!sane.begun) {
    sane.begun = true;
    sane.ok = sane_init(nullptr, nullptr) == SANE_STATUS_GOOD;
    dscommon::AtDetach(&EndSane);
  }
  return sane.ok;
}

std::string Environment(const char *name) {
  const char *value = std::getenv(name); // SANE reads the same variables
  return value ? value : "";
}

std::string CachePath() {
  char temp[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathA(MAX_PATH, temp);
  return std::string(temp, n <= MAX_PATH ? n : 0) + "tovik-sane-devices.txt";
}

void WriteFileText(const std::string &path, const std::string &text) {
  win::UniqueHandle file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return;
  }
  DWORD written = 0;
  ::WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr);
}

SANE_Handle Handle(void *h) { return static_cast<SANE_Handle>(h); }

// Reads one frame until EOF, laying its rows out in the page as they come; the status that ended it.
int ReadFrame(SANE_Handle h, FrameLayout &layout, const std::atomic<bool> *cancelled) {
  constexpr size_t kChunk = 64 * 1024;
  std::vector<uint8_t> chunk(kChunk);
  for (;;) {
    if (cancelled && *cancelled) {
      sane_cancel(h);
      return SANE_STATUS_CANCELLED;
    }
    SANE_Int got = 0;
    const SANE_Status status = sane_read(h, chunk.data(), SANE_Int(kChunk), &got);
    if (status == SANE_STATUS_EOF)
      return SANE_STATUS_GOOD;
    if (status != SANE_STATUS_GOOD)
      return status;
    if (got > 0 && size_t(got) <= kChunk && !layout.Add(chunk.data(), size_t(got)))
      return SANE_STATUS_NO_MEM; // past the largest page, or out of memory
  }
}

// A resolution option's value in whole dots per inch (its own, else `resolution`'s); 0 when the
// device has neither.
int DotsPerInch(const Options &options, const char *own) {
  const OptionInfo *o = FindOption(options, own);
  if (!o)
    o = FindOption(options, "resolution");
  if (!o || (o->type != SaneType::Int && o->type != SaneType::Fixed))
    return 0;
  return o->type == SaneType::Fixed ? o->word >> SANE_FIXED_SCALE_SHIFT : o->word;
}

} // namespace

bool ReadTextFile(const std::string &path, std::string &text, unsigned &ageSeconds) {
  win::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  FILETIME written{}, now{};
  ::GetFileTime(file.get(), nullptr, nullptr, &written);
  ::GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME &t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  ageSeconds = ticks(now) >= ticks(written) ? unsigned((ticks(now) - ticks(written)) / 10000000ULL) : ~0u;
  const DWORD size = ::GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > (1u << 20))
    return false;
  text.resize(size);
  DWORD read = 0;
  return ::ReadFile(file.get(), &text[0], size, &read, nullptr) && read == size;
}

std::vector<DeviceEntry> ListDevices(bool fresh) {
  const std::string key = "tovik-sane-devices 1 SANE_CONFIG_DIR=" + Environment("SANE_CONFIG_DIR");
  const std::string path = CachePath();
  std::vector<DeviceEntry> devices;
  std::string text;
  unsigned age = 0;
  if (!fresh && ReadTextFile(path, text, age) && age < kDeviceCacheSeconds &&
      ParseDeviceCache(text, key, devices) && !devices.empty())
    return devices;
  devices.clear();
  if (fresh)
    RestartSane();
  const SANE_Device **list = nullptr;
  bool listed = false;
  if (SaneReady()) {
    ++Sane().listing;
    listed = sane_get_devices(&list, SANE_FALSE) == SANE_STATUS_GOOD && list;
    --Sane().listing;
  }
  if (!listed) {
    ::DeleteFileA(path.c_str()); // what was kept is no longer what SANE sees
    return devices;
  }
  for (; *list; ++list) {
    const SANE_Device *d = *list;
    devices.push_back(
        DeviceEntry{d->name ? d->name : "", d->vendor ? d->vendor : "", d->model ? d->model : ""});
  }
  // No device is not kept, and what was kept goes: a scanner plugged in next shows at once, and a
  // scanner gone is not offered again. A list the file cannot hold is not kept either.
  const std::string kept = FormatDeviceCache(key, devices);
  if (!devices.empty() && !kept.empty())
    WriteFileText(path, kept);
  else
    ::DeleteFileA(path.c_str());
  return devices;
}

SaneDevice::~SaneDevice() {
  bool open = false;
  {
    SaneState &sane = Sane();
    std::lock_guard<std::mutex> hold(sane.lock);
    const auto at = std::find(sane.open.begin(), sane.open.end(), this);
    open = at != sane.open.end();
    if (open)
      sane.open.erase(at);
  }
  if (open)
    CloseNow();
}

void SaneDevice::CloseNow() {
  if (!handle_)
    return;
  sane_cancel(Handle(handle_));
  sane_close(Handle(handle_));
  handle_ = nullptr;
}

int SaneDevice::Open(const std::string &name) {
  if (!SaneReady())
    return SANE_STATUS_IO_ERROR;
  SANE_Handle h = nullptr;
  if (handle_)
    return SANE_STATUS_DEVICE_BUSY;
  const SANE_Status status = sane_open(name.c_str(), &h);
  if (status == SANE_STATUS_GOOD) {
    handle_ = h;
    SaneState &sane = Sane();
    std::lock_guard<std::mutex> hold(sane.lock);
    sane.open.push_back(this);
  }
  return status;
}

Options SaneDevice::ReadOptions() const {
  Options options;
  SANE_Handle h = Handle(handle_);
  const SANE_Option_Descriptor *first = h ? sane_get_option_descriptor(h, 0) : nullptr;
  SANE_Int count = 0;
  if (!first || sane_control_option(h, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
    return options;
  for (SANE_Int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor *d = sane_get_option_descriptor(h, i);
    if (!d || !d->name || d->type == SANE_TYPE_GROUP)
      continue;
    OptionInfo o;
    o.index = i;
    o.name = d->name;
    o.type = static_cast<SaneType>(d->type);
    o.cap = d->cap;
    o.unit = static_cast<SaneUnit>(d->unit);
    o.constraint = static_cast<SaneConstraint>(d->constraint_type);
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
      o.min = d->constraint.range->min;
      o.max = d->constraint.range->max;
      o.quant = d->constraint.range->quant;
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
      const SANE_Word n = d->constraint.word_list[0];
      for (SANE_Word k = 1; k <= n && k <= 4096; ++k)
        o.words.push_back(d->constraint.word_list[k]);
    } else if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST && d->constraint.string_list) {
      for (const SANE_String_Const *s = d->constraint.string_list; *s && o.strings.size() < 4096; ++s)
        o.strings.emplace_back(*s);
    }
    if (o.Active()) {
      if (d->type == SANE_TYPE_STRING && d->size > 0 && d->size <= 4096) {
        std::vector<char> text(size_t(d->size) + 1, '\0');
        if (sane_control_option(h, i, SANE_ACTION_GET_VALUE, text.data(), nullptr) == SANE_STATUS_GOOD)
          o.text = std::string(text.data(), strnlen(text.data(), size_t(d->size)));
      } else if (d->type != SANE_TYPE_BUTTON && d->size == SANE_Int(sizeof(SANE_Word))) {
        SANE_Word w = 0;
        if (sane_control_option(h, i, SANE_ACTION_GET_VALUE, &w, nullptr) == SANE_STATUS_GOOD)
          o.word = w;
      }
    }
    options.push_back(std::move(o));
  }
  return options;
}

int SaneDevice::Write(const OptionInfo &option, const OptionChange &change, bool &inexact) {
  SANE_Handle h = Handle(handle_);
  const SANE_Option_Descriptor *d = h ? sane_get_option_descriptor(h, option.index) : nullptr;
  if (!d)
    return SANE_STATUS_INVAL;
  SANE_Int info = 0;
  SANE_Status status = SANE_STATUS_INVAL;
  if (d->type == SANE_TYPE_STRING) {
    if (d->size <= 0 || change.text.size() >= size_t(d->size))
      return SANE_STATUS_INVAL;
    std::vector<char> text(size_t(d->size), '\0');
    std::memcpy(text.data(), change.text.data(), change.text.size());
    status = sane_control_option(h, option.index, SANE_ACTION_SET_VALUE, text.data(), &info);
  } else if (d->size == SANE_Int(sizeof(SANE_Word))) {
    SANE_Word w = change.word;
    status = sane_control_option(h, option.index, SANE_ACTION_SET_VALUE, &w, &info);
  }
  inexact = (info & SANE_INFO_INEXACT) != 0;
  return status;
}

int SaneDevice::WriteText(const std::string &name, const std::string &value) {
  const Options options = ReadOptions();
  const OptionInfo *o = FindOption(options, name);
  if (!o)
    return SANE_STATUS_UNSUPPORTED;
  OptionChange change{name, 0, value};
  if (o->type != SaneType::String) {
    const std::optional<int32_t> word = OptionWord(o->type, value);
    if (!word)
      return o->type == SaneType::Bool || o->type == SaneType::Int || o->type == SaneType::Fixed
                 ? SANE_STATUS_INVAL
                 : SANE_STATUS_UNSUPPORTED;
    change.word = *word;
  }
  bool inexact = false;
  return Write(*o, change, inexact);
}

PageResult SaneDevice::ReadPage(std::atomic<int> *startAnswer, const std::atomic<bool> *cancelled) {
  PageResult result;
  SANE_Handle h = Handle(handle_);
  if (!h) {
    result.status = SANE_STATUS_IO_ERROR;
    return result;
  }
  const Options options = ReadOptions();
  result.xDotsPerInch = DotsPerInch(options, "x-resolution");
  result.yDotsPerInch = DotsPerInch(options, "y-resolution");
  for (;;) {
    result.status = sane_start(h);
    if (startAnswer && *startAnswer < 0)
      *startAnswer = result.status;
    if (cancelled && *cancelled) {
      sane_cancel(h);
      result.status = SANE_STATUS_CANCELLED;
      return result;
    }
    if (result.status == SANE_STATUS_JAMMED)
      result.doubleFeed = ReadFeeder(ReadOptions()).doubleFeedSensed;
    if (result.status != SANE_STATUS_GOOD)
      return result;
    SANE_Parameters p{};
    result.status = sane_get_parameters(h, &p);
    if (result.status != SANE_STATUS_GOOD)
      return result;
    const FrameShape shape{static_cast<SaneFrame>(p.format),
                           p.last_frame != 0,
                           p.bytes_per_line,
                           p.pixels_per_line,
                           p.lines,
                           p.depth};
    // A page larger than the bridge can hold is refused before any of it is read.
    if (!FitsInMemory(shape)) {
      sane_cancel(h);
      result.status = SANE_STATUS_NO_MEM;
      return result;
    }
    FrameLayout layout;
    if (!layout.Begin(result.page, shape)) {
      result.status = SANE_STATUS_INVAL;
      return result;
    }
    result.status = ReadFrame(h, layout, cancelled);
    if (result.status != SANE_STATUS_GOOD)
      return result;
    layout.End();
    if (shape.lastFrame)
      break;
  }
  if (!result.page.Complete())
    result.status = SANE_STATUS_INVAL;
  return result;
}

void SaneDevice::Cancel() {
  if (handle_)
    sane_cancel(Handle(handle_));
}

} // namespace sanesrc
