// Names of TWAIN data groups, data argument types, messages, return and condition codes, for the
// triplet log and for faults written by name in a scenario.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vscan {

enum class NameKind { Dg, Dat, Msg, Rc, Cc };

// The short name (without DG_/DAT_/MSG_/TWRC_/TWCC_), or the number in hex when it has none.
std::string NameOf(NameKind kind, uint32_t value);

// A name (case-insensitive, with or without its prefix) or a decimal / 0x hex number.
std::optional<uint32_t> ValueOf(NameKind kind, const std::string &text);

} // namespace vscan
