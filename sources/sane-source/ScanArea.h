// The scan area of a SANE device as TWAIN sees it: the well-known options tl-x, tl-y, br-x and
// br-y (in millimetres or pixels) as a frame in inches for DAT_IMAGELAYOUT and ICAP_FRAMES, the
// largest frame for ICAP_PHYSICALWIDTH / HEIGHT, and a frame turned back into option writes.
// Pure, like OptionCaps.
#pragma once

#include "sources/sane-source/OptionCaps.h"
#include "twain/TwainRecords.h"

#include <optional>
#include <vector>

namespace sanesrc {

// The area the options select now; nothing when the device has no area options.
std::optional<TW_FRAME> AreaFrame(const Options &options);
// The whole area the device can scan (every option at the end of its range).
std::optional<TW_FRAME> FullFrame(const Options &options);

// The writes that select `frame` (clipped to what the device can scan): the bottom-right corner
// first moved out of the way, so that no corner ever passes the other. Empty when the frame holds
// no area or the device has no area options.
std::vector<OptionChange> AreaChanges(const Options &options, const TW_FRAME &frame);

} // namespace sanesrc
