// One capability's values as a source reports them: the container of MSG_GET (a one-value, an
// enumeration, a range or an array of 32-bit items, or of frames), its current and default value,
// and whether the application may choose among them.
#pragma once

#include "twain/TwainRecords.h"

#include <vector>

namespace dscommon {

struct CapValue {
  TW_UINT16 itemType = TWTY_UINT16;
  TW_UINT16 conType = TWON_ONEVALUE;
  std::vector<TW_UINT32> items; // a one-value's item, an enumeration's or an array's items
  std::vector<TW_FRAME> frames; // the items instead, when itemType is TWTY_FRAME
  TW_UINT32 current = 0;        // indexes into the items
  TW_UINT32 defaultIndex = 0;
  TW_UINT32 min = 0, max = 0, step = 0, defaultValue = 0, currentValue = 0; // a range
  // The application may set any of the values offered; otherwise only the current one (which
  // a set of it then keeps).
  bool settable = false;
  // A number between those offered takes the nearest one (resolutions), rather than being refused.
  bool nearest = false;
  // MSG_GET answers the current item as a one-value, as applications expect of a BOOL; the items
  // still say what may be set.
  bool getAsOneValue = false;
  // A driver behaviour: MSG_GETCURRENT and MSG_GETDEFAULT answer the whole container, as MSG_GET.
  bool everyReadWhole = false;
  // Any value may be asked for, and the source judges it when it is set (a count, a frame).
  bool freeValue = false;

  TW_UINT32 CurrentItem() const { return conType == TWON_RANGE ? currentValue : items.at(current); }
  TW_UINT32 DefaultItem() const { return conType == TWON_RANGE ? defaultValue : items.at(defaultIndex); }
  size_t Count() const { return itemType == TWTY_FRAME ? frames.size() : items.size(); }
};

inline CapValue OneValue(TW_UINT16 type, TW_UINT32 value, bool settable = false) {
  CapValue v;
  v.itemType = type;
  v.items = {value};
  v.settable = settable;
  return v;
}

// An enumeration whose current and default are given as items (the first item when absent).
inline CapValue Enumeration(TW_UINT16 type, std::vector<TW_UINT32> items, TW_UINT32 current, TW_UINT32 def,
                            bool settable) {
  CapValue v;
  v.itemType = type;
  v.conType = TWON_ENUMERATION;
  auto indexOf = [&](TW_UINT32 item) {
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i] == item)
        return static_cast<TW_UINT32>(i);
    return TW_UINT32{0};
  };
  v.current = indexOf(current);
  v.defaultIndex = indexOf(def);
  v.items = std::move(items);
  v.settable = settable;
  return v;
}

// A number the application may set to anything the source then judges (a count), with a default of
// its own that MSG_GETDEFAULT and MSG_RESET give whatever was set.
inline CapValue FreeValue(TW_UINT16 type, TW_UINT32 current, TW_UINT32 def) {
  CapValue v = OneValue(type, current, true);
  v.items.push_back(def);
  v.defaultIndex = 1;
  v.freeValue = true;
  return v;
}

// A BOOL the application may turn on and off.
inline CapValue Switch(bool current, bool def) {
  CapValue v = Enumeration(TWTY_BOOL, {0, 1}, current ? 1 : 0, def ? 1 : 0, true);
  v.getAsOneValue = true;
  return v;
}

} // namespace dscommon
