// Capability reads of a TTwainSource: one DAT_CAPABILITY request, then the container that the
// source answered with is owned at once, decoded within its GlobalSize, and freed before the read
// returns, whatever its outcome.
#include "twain/TwainSource.h"

#include "twain/CapabilityDecode.h"
#include "twain/DecimalSeparator.h"
#include "win/Owners.h"

namespace {

// The typed readers: TWTY_UINT16 items, each converted to a member. Sources answer these as an
// enumeration or as a one-value (GETCURRENT and GETDEFAULT always, some sources for MSG_GET too),
// so both shapes are decoded; a one-value makes its item the only supported member.
template <typename E>
TTwainCapResult ReadTypedEnumeration(TTwainSource &source, TW_UINT16 capability, E (*convert)(TW_UINT16),
                                     E &value, TTwainByteSet<E> &supported, TTwainCapRequest request) {
  TW_UINT16 itemType = 0;
  TGetCapabilityList texts;
  int32_t currentIndex = 0;
  int32_t defaultIndex = 0;
  TTwainCapResult result =
      source.ReadCurrentTexts(capability, itemType, texts, currentIndex, defaultIndex, request);
  if (result != tcrOk)
    return result;
  if (itemType != TWTY_UINT16)
    return tcrCapUnsupported;
  TypedValueFromTexts(texts, request == tcqGetDefault ? defaultIndex : currentIndex, convert, value,
                      supported);
  return tcrOk;
}

} // namespace

TTwainCapResult TTwainSource::ReadCapContainer(TW_UINT16 capability, HGLOBAL &container,
                                               TTwainCapRequest request, TW_UINT16 &containerType) {
  if (!loaded_)
    return tcrBadState;
  TW_CAPABILITY record;
  record.Cap = capability;
  record.ConType = TWON_DONTCARE16;
  record.hContainer = nullptr;
  const TTwainCapResult result =
      CapResultFromCode(Call(DG_CONTROL, DAT_CAPABILITY, CapRequestMessage(request), &record));
  if (result == tcrOk) {
    container = record.hContainer;
    containerType = record.ConType;
  }
  return result;
}

TTwainCapResult TTwainSource::TakeCapContainer(TW_UINT16 capability, TTwainCapRequest request,
                                               HGLOBAL container, TW_UINT16 expectedType,
                                               win::UniqueGlobal &owned) {
  TW_UINT16 containerType = expectedType; // a caller's container is taken as the expected type
  TTwainCapResult result = tcrOk;
  if (!container)
    result = ReadCapContainer(capability, container, request, containerType);
  owned.reset(container);
  if (result != tcrOk)
    return result;
  return containerType == expectedType ? tcrOk : tcrBadContainer;
}

TTwainCapResult TTwainSource::ReadEnumerationTexts(TW_UINT16 capability, TW_UINT16 &itemType,
                                                   TGetCapabilityList &list, int32_t &currentIndex,
                                                   int32_t &defaultIndex, TTwainCapRequest request,
                                                   HGLOBAL container) {
  win::UniqueGlobal owned;
  const TTwainCapResult result = TakeCapContainer(capability, request, container, TWON_ENUMERATION, owned);
  if (result != tcrOk)
    return result;

  TCapEnumeration decoded;
  {
    const win::GlobalLockGuard lock(owned.get());
    // A success without a readable container, or a container that announces more than it holds.
    if (!lock || !DecodeEnumeration(lock.data(), lock.size(), DecimalSeparator(), decoded))
      return tcrBadContainer;
  }
  itemType = decoded.ItemType;
  currentIndex = decoded.CurrentIndex;
  defaultIndex = decoded.DefaultIndex;
  list = std::move(decoded.Texts);
  return tcrOk;
}

TTwainCapResult TTwainSource::ReadOneValueText(TW_UINT16 capability, TW_UINT16 &itemType, std::string &value,
                                               TTwainCapRequest request, HGLOBAL container) {
  win::UniqueGlobal owned;
  const TTwainCapResult result = TakeCapContainer(capability, request, container, TWON_ONEVALUE, owned);
  if (result != tcrOk)
    return result;

  const win::GlobalLockGuard lock(owned.get());
  if (!lock || !DecodeOneValue(lock.data(), lock.size(), DecimalSeparator(), itemType, value))
    return tcrBadContainer;
  return tcrOk;
}

TTwainCapResult TTwainSource::ReadCurrentTexts(TW_UINT16 capability, TW_UINT16 &itemType,
                                               TGetCapabilityList &list, int32_t &currentIndex,
                                               int32_t &defaultIndex, TTwainCapRequest request) {
  HGLOBAL container = nullptr;
  TW_UINT16 containerType = 0;
  const TTwainCapResult result = ReadCapContainer(capability, container, request, containerType);
  if (result != tcrOk) {
    win::UniqueGlobal owned(container);
    return result;
  }
  // Each reader below owns the container from here on.
  if (containerType == TWON_ENUMERATION)
    return ReadEnumerationTexts(capability, itemType, list, currentIndex, defaultIndex, request, container);
  if (containerType != TWON_ONEVALUE) {
    win::UniqueGlobal owned(container);
    return tcrBadContainer;
  }
  std::string value;
  const TTwainCapResult one = ReadOneValueText(capability, itemType, value, request, container);
  if (one == tcrOk) {
    list = TGetCapabilityList{value};
    currentIndex = defaultIndex = 0;
  }
  return one;
}

TTwainCapResult TTwainSource::ReadCurrentText(TW_UINT16 capability, TW_UINT16 &itemType, std::string &value,
                                              TTwainCapRequest request) {
  TGetCapabilityList list;
  int32_t currentIndex = 0, defaultIndex = 0;
  TW_UINT16 type = 0;
  const TTwainCapResult result =
      ReadCurrentTexts(capability, type, list, currentIndex, defaultIndex, request);
  if (result != tcrOk)
    return result;
  const int32_t index = request == tcqGetDefault ? defaultIndex : currentIndex;
  if (index < 0 || static_cast<size_t>(index) >= list.size())
    return tcrBadContainer;
  itemType = type;
  value = list[static_cast<size_t>(index)];
  return tcrOk;
}

TTwainCapResult TTwainSource::ReadCurrentBool(TW_UINT16 capability, bool &value) {
  TW_UINT16 itemType = 0;
  std::string text;
  TTwainCapResult result = ReadCurrentText(capability, itemType, text, tcqGetCurrent);
  if (result != tcrOk)
    result = ReadCurrentText(capability, itemType, text, tcqGet);
  if (result != tcrOk)
    return result;
  // Some sources give their flags as integers; any other item is no answer.
  if (itemType > TWTY_BOOL)
    return tcrBadContainer;
  value = text != "0";
  return tcrOk;
}

void TTwainSource::CapItemText(std::string &text, TW_UINT16 itemType, const void *item) {
  ::CapItemText(text, itemType, item, CapItemTextWidth(itemType), DecimalSeparator());
}

TTwainCapResult TTwainSource::CapResultFromCode(TW_UINT16 returnCode) {
  if (returnCode == TWRC_SUCCESS)
    return tcrOk;
  return CapResultFromConditionCode(ReadConditionCode());
}

TTwainCapResult TTwainSource::ReadMeasureUnit(TTwainMeasureUnit &value, TTwainMeasureUnits &supported,
                                              TTwainCapRequest request) {
  return ReadTypedEnumeration(*this, ICAP_UNITS, MeasureUnitFromTwain, value, supported, request);
}

TTwainCapResult TTwainSource::ReadPixelFlavor(TTwainFlavor &value, TTwainFlavors &supported,
                                              TTwainCapRequest request) {
  return ReadTypedEnumeration(*this, ICAP_PIXELFLAVOR, FlavorFromTwain, value, supported, request);
}
