// Capability containers of the bridge: a CapValue built in global memory for the application, and
// the one-value an application sends with MSG_SET read back within the block's real size.
#pragma once

#include "tools/data-source-common/CapabilityContainers.h"
#include "tools/sane-source/OptionCaps.h"

#include <cstddef>
#include <optional>

namespace sanesrc {

using dscommon::BuildOneValue;

// A new block the application then owns, of the CapValue's own container type; null when memory
// ran out.
HGLOBAL BuildContainer(const CapValue &value);

// The item of a one-value of `size` bytes at `data`, widened to 32 bits (signed items keep their
// sign), and its type; nothing when the block is too small for its item type or the type is not
// numeric.
std::optional<TW_UINT32> ReadOneValue(const void *data, size_t size, TW_UINT16 &itemType);

} // namespace sanesrc
