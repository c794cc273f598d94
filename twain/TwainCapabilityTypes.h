// Types with which the TWAIN layer reports capability reads: the outcome of a read, the kind of
// request, the texts of an enumeration, and the two small enumerations (measurement unit and
// pixel flavor) that the image transfer needs.
#pragma once

#include "twain/TwainRecords.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Outcome of every capability read.
enum TTwainCapResult : uint8_t {
  tcrOk,
  tcrCapUnsupported,
  tcrBadOperation,
  tcrCapSeqError,
  tcrLowMemory,
  tcrBadState,
  tcrBadContainer,
};

// Which value of a capability is asked for; each selects one MSG sent with DAT_CAPABILITY.
enum TTwainCapRequest : uint8_t {
  tcqGet,
  tcqGetCurrent,
  tcqGetDefault,
  tcqReset,
};

// The MSG sent for a request; a value outside the four requests is sent as MSG_GET.
constexpr TW_UINT16 CapRequestMessage(TTwainCapRequest request) {
  constexpr TW_UINT16 messages[] = {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET};
  return request <= tcqReset ? messages[request] : MSG_GET;
}

// One text per enumeration item, in the container's order.
using TGetCapabilityList = std::vector<std::string>;

enum TTwainMeasureUnit : uint8_t {
  tmuInches,
  tmuCentimeters,
  tmuPicas,
  tmuPoints,
  tmuTwips,
  tmuPixels,
  tmuOther,
};

enum TTwainFlavor : uint8_t {
  tflChocolate,
  tflVanilla,
  tflOther,
};

// A set of up to eight members of a small enumeration, held in one byte: member n is bit n.
template <typename E> class TTwainByteSet {
public:
  constexpr TTwainByteSet() = default;
  constexpr TTwainByteSet(std::initializer_list<E> members) {
    for (E member : members)
      Include(member);
  }

  constexpr void Include(E member) { bits_ = static_cast<uint8_t>(bits_ | Bit(member)); }
  constexpr void Exclude(E member) { bits_ = static_cast<uint8_t>(bits_ & ~Bit(member)); }
  constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint8_t Bits() const { return bits_; }

  constexpr bool operator==(TTwainByteSet other) const { return bits_ == other.bits_; }
  constexpr bool operator!=(TTwainByteSet other) const { return bits_ != other.bits_; }

private:
  static constexpr uint8_t Bit(E member) {
    return static_cast<uint8_t>(member) < 8 ? static_cast<uint8_t>(1u << static_cast<uint8_t>(member)) : 0;
  }

  uint8_t bits_ = 0;
};

using TTwainMeasureUnits = TTwainByteSet<TTwainMeasureUnit>;
using TTwainFlavors = TTwainByteSet<TTwainFlavor>;

static_assert(sizeof(TTwainCapResult) == 1 && sizeof(TTwainCapRequest) == 1, "one-byte enumerations");
static_assert(sizeof(TTwainMeasureUnit) == 1 && sizeof(TTwainFlavor) == 1, "one-byte enumerations");
static_assert(sizeof(TTwainMeasureUnits) == 1 && sizeof(TTwainFlavors) == 1, "one-byte sets");
