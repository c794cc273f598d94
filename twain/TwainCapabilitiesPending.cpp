// Stand-in for twain/TwainCapabilities.cpp (Part 2.6, written by the capabilities developer) while
// that file does not exist yet: twain/CMakeLists.txt builds this file only then, so that programs
// linking tovik_twain link. Every read answers tcrCapUnsupported without a request; the transfer
// then falls back as Part 2.5 says (no resolution, chocolate). Delete this file once
// TwainCapabilities.cpp is in.
#include "twain/TwainSource.h"

TTwainCapResult TTwainSource::ReadCapContainer(TW_UINT16, HGLOBAL &, TTwainCapRequest, TW_UINT16 &) {
  return Loaded() ? tcrCapUnsupported : tcrBadState;
}

TTwainCapResult TTwainSource::ReadEnumerationTexts(TW_UINT16, TW_UINT16 &, TGetCapabilityList &, int32_t &,
                                                   int32_t &, TTwainCapRequest, HGLOBAL container) {
  if (container)
    ::GlobalFree(container);
  return Loaded() ? tcrCapUnsupported : tcrBadState;
}

TTwainCapResult TTwainSource::ReadOneValueText(TW_UINT16, TW_UINT16 &, std::string &, TTwainCapRequest,
                                               HGLOBAL container) {
  if (container)
    ::GlobalFree(container);
  return Loaded() ? tcrCapUnsupported : tcrBadState;
}

TTwainCapResult TTwainSource::CapResultFromCode(TW_UINT16 returnCode) {
  return returnCode == TWRC_SUCCESS ? tcrOk : tcrBadOperation;
}

TTwainCapResult TTwainSource::ReadMeasureUnit(TTwainMeasureUnit &, TTwainMeasureUnits &, TTwainCapRequest) {
  return Loaded() ? tcrCapUnsupported : tcrBadState;
}

TTwainCapResult TTwainSource::ReadPixelFlavor(TTwainFlavor &, TTwainFlavors &, TTwainCapRequest) {
  return Loaded() ? tcrCapUnsupported : tcrBadState;
}
