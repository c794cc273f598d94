#include "twain/TwainIdentity.h"

#include <cstring>

bool TPersistent::Assign(const TPersistent &) { return false; }

TTwainIdentity::TTwainIdentity(TKestraTwain *owner) : owner_(owner) {
  std::memset(&record_, 0, sizeof record_);
  SetLanguage(tlUserLocale);
  SetCountryCode(TWCY_USA);
  SetMajorVersion(1);
  SetVersionInfo("Application name");
  record_.ProtocolMajor = 1;
  record_.ProtocolMinor = 9;
  SetGroups({tgControl, tgImage});
  SetManufacturer("Application manufacturer");
  SetProductFamily("App product family");
  SetProductName("App product name");
}

bool TTwainIdentity::Assign(const TPersistent &source) {
  if (const auto *identity = dynamic_cast<const TTwainIdentity *>(&source)) {
    if (identity != this)
      std::memcpy(&record_, &identity->record_, sizeof record_);
    return true;
  }
  return TPersistent::Assign(source);
}

TTwainLanguage TTwainIdentity::Language() const {
  return static_cast<TTwainLanguage>(static_cast<uint16_t>(record_.Version.Language + 1u));
}

void TTwainIdentity::SetLanguage(TTwainLanguage value) {
  record_.Version.Language = static_cast<uint16_t>(static_cast<int>(value) - 1);
}

TTwainGroups TTwainIdentity::Groups() const {
  TTwainGroups groups{tgControl};
  if (record_.SupportedGroups & DG_IMAGE)
    groups.Include(tgImage);
  if (record_.SupportedGroups & DG_AUDIO)
    groups.Include(tgAudio);
  return groups;
}

void TTwainIdentity::SetGroups(TTwainGroups value) {
  uint32_t groups = DG_CONTROL;
  if (value.Contains(tgImage))
    groups |= DG_IMAGE;
  if (value.Contains(tgAudio))
    groups |= DG_AUDIO;
  record_.SupportedGroups = groups;
}

char *TTwainIdentity::Field(int index) {
  switch (index) {
  case tiVersionInfo:
    return record_.Version.Info;
  case tiManufacturer:
    return record_.Manufacturer;
  case tiProductFamily:
    return record_.ProductFamily;
  case tiProductName:
    return record_.ProductName;
  }
  return nullptr;
}

std::string TTwainIdentity::GetString(int index) const {
  const char *field = const_cast<TTwainIdentity *>(this)->Field(index);
  if (!field)
    return std::string();
  size_t length = 0;
  while (length < sizeof(TW_STR32) && field[length] != '\0')
    ++length;
  return std::string(field, length);
}

void TTwainIdentity::SetString(int index, const std::string &value) {
  char *field = Field(index);
  if (!field)
    return;
  std::memset(field, 0, sizeof(TW_STR32));
  std::memcpy(field, value.data(), value.size() < sizeof(TW_STR32) - 1 ? value.size() : sizeof(TW_STR32) - 1);
}
