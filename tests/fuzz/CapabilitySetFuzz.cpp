// The capability table as an application drives it: any message with any container (any item
// type, count and bytes, in a block of exactly the size sent), on rows of the shapes our sources
// offer. A row's set is only ever handed a value the row offers; anything else aborts.
#include "sources/common/CapabilityTable.h"
#include "sources/common/TwainProtocol.h"
#include "tests/fuzz/FuzzInput.h"
#include "win/Owners.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace dscommon;

namespace {

struct Row {
  TW_UINT16 cap;
  CapValue value;
};

std::vector<Row> Rows() {
  CapValue resolution;
  resolution.itemType = TWTY_FIX32;
  resolution.conType = TWON_RANGE;
  resolution.min = Fix32Bits(50);
  resolution.max = Fix32Bits(600);
  resolution.step = Fix32Bits(1);
  resolution.defaultValue = resolution.currentValue = Fix32Bits(100);
  resolution.settable = resolution.nearest = true;
  CapValue listed = Enumeration(TWTY_FIX32, {Fix32Bits(75), Fix32Bits(150.5), Fix32Bits(300)}, Fix32Bits(75),
                                Fix32Bits(300), true);
  listed.nearest = true;
  CapValue frames;
  frames.itemType = TWTY_FRAME;
  frames.conType = TWON_ENUMERATION;
  frames.frames = {TW_FRAME{{0, 0}, {0, 0}, {8, 0}, {11, 0}}};
  frames.settable = frames.freeValue = true;
  return {{CAP_INDICATORS, Switch(true, true)},
          {ICAP_XFERMECH, Enumeration(TWTY_UINT16, {0, 1, 2}, 0, 0, true)},
          {CAP_XFERCOUNT, FreeValue(TWTY_INT16, 0xFFFF, 0xFFFF)},
          {ICAP_XRESOLUTION, resolution},
          {ICAP_YRESOLUTION, listed},
          {ICAP_FRAMES, frames},
          {ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {0, 1, 2}, 1, 1, false)}};
}

bool Offered(const CapValue &v, const CapRequest &r) {
  if (v.freeValue)
    return true;
  if (v.conType == TWON_RANGE)
    return Fix32Value(r.value) >= Fix32Value(v.min) && Fix32Value(r.value) <= Fix32Value(v.max);
  for (TW_UINT32 item : v.items)
    if (item == r.value)
      return true;
  return false;
}

void MakeCurrent(CapValue &v, const CapRequest &r) {
  if (v.itemType == TWTY_FRAME)
    v.frames[v.current] = r.frame;
  else if (v.conType == TWON_RANGE)
    v.currentValue = r.value;
  else if (v.freeValue)
    v.items[0] = r.value;
  else
    for (size_t i = 0; i < v.items.size(); ++i)
      if (v.items[i] == r.value)
        v.current = TW_UINT32(i);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  std::vector<Row> rows = Rows();
  CapabilityTable table;
  for (Row &row : rows)
    table.Add(
        row.cap, [&row] { return std::optional<CapValue>(row.value); },
        [&row](const CapRequest &r) {
          if (r.itemType != row.value.itemType || !Offered(row.value, r))
            std::abort(); // the table let through a value the row does not offer
          MakeCurrent(row.value, r);
          return SetOutcome{};
        });
  const TW_UINT16 messages[] = {MSG_GET,   MSG_GETCURRENT,   MSG_GETDEFAULT, MSG_SET,
                                MSG_RESET, MSG_QUERYSUPPORT, MSG_RESETALL,   MSG_SETCONSTRAINT};
  for (int step = 0; step < 16 && !in.Empty(); ++step) {
    const uint8_t pick = in.Take<uint8_t>();
    TW_CAPABILITY cap{pick % 8 < rows.size() ? rows[pick % 8].cap : CAP_SUPPORTEDCAPS, in.Take<TW_UINT16>(),
                      nullptr};
    const TW_UINT16 msg = messages[(pick >> 3) % 8];
    size_t got = 0;
    const uint8_t *bytes = in.Block(in.Take<uint16_t>() % 512, got);
    win::UniqueGlobal sent(::GlobalAlloc(GHND, got));
    if (got)
      std::memcpy(::GlobalLock(sent.get()), bytes, got);
    cap.hContainer = msg == MSG_SET ? sent.get() : nullptr;
    table.Answer(msg, cap);
    if (cap.hContainer && cap.hContainer != sent.get())
      win::UniqueGlobal answered(cap.hContainer);
  }
  return 0;
}
