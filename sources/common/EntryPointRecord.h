// TW_ENTRYPOINT as the source manager hands it over with MSG_SET: Size (UINT32), then DSM_Entry;
// a source uses only the entry, to send its notifications through the manager.
#pragma once

#include "twain/TwainRecords.h"

#include <cstring>

namespace dscommon {

// False when the record is too short to hold the entry.
inline bool ReadEntryPoint(const void *record, DSMENTRYPROC &entry) {
  TW_UINT32 size = 0;
  std::memcpy(&size, record, sizeof size);
  if (size < 8)
    return false;
  void *address = nullptr;
  std::memcpy(&address, static_cast<const char *>(record) + 4, sizeof address);
  entry = reinterpret_cast<DSMENTRYPROC>(address);
  return true;
}

} // namespace dscommon
