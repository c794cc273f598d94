#include "sources/sane-source/StatusMap.h"

namespace sanesrc {
namespace {

struct Row {
  SaneStatus status;
  StatusMeaning meaning;
};

constexpr Row kRows[] = {
    {SaneStatus::Good, {TWRC_SUCCESS, TWCC_SUCCESS, false}},
    {SaneStatus::Eof, {TWRC_SUCCESS, TWCC_SUCCESS, false}},
    {SaneStatus::Cancelled, {TWRC_CANCEL, TWCC_SUCCESS, false}},
    {SaneStatus::Unsupported, {TWRC_FAILURE, TWCC_BADVALUE, false}},
    {SaneStatus::Inval, {TWRC_FAILURE, TWCC_BADVALUE, false}},
    {SaneStatus::NoMem, {TWRC_FAILURE, TWCC_LOWMEMORY, false}},
    {SaneStatus::Jammed, {TWRC_FAILURE, TWCC_PAPERJAM, false}},
    {SaneStatus::NoDocs, {TWRC_FAILURE, TWCC_NOMEDIA, false}},
    {SaneStatus::DeviceBusy, {TWRC_FAILURE, TWCC_MAXCONNECTIONS, true}},
    {SaneStatus::CoverOpen, {TWRC_FAILURE, TWCC_INTERLOCK, true}},
    {SaneStatus::IoError, {TWRC_FAILURE, TWCC_OPERATIONERROR, true}},
    {SaneStatus::AccessDenied, {TWRC_FAILURE, TWCC_DENIED, true}},
};

} // namespace

StatusMeaning MeaningOf(int saneStatus) {
  for (const Row &row : kRows)
    if (static_cast<int>(row.status) == saneStatus)
      return row.meaning;
  return StatusMeaning{TWRC_FAILURE, TWCC_OPERATIONERROR, true};
}

} // namespace sanesrc
