// TTwainIdentity: one TW_IDENTITY record with typed access. Base of TTwainSource;
// the manager's application identity (`Info`) is one too. The record's address is what
// DSM_Entry receives, so it stays laid out exactly as the TWAIN standard defines it.
#pragma once

#include "twain/TwainRecords.h"
#include "twain/TwainTypes.h"

#include <string>

// Root of objects that can take over another's contents.
class TPersistent {
public:
  virtual ~TPersistent() = default;
  // Copies `source` into this object. The base accepts nothing: it returns false and changes
  // nothing (the layer raises no errors).
  virtual bool Assign(const TPersistent &source);
};

class TTwainIdentity : public TPersistent {
public:
  // Index of the four text properties (GetString / SetString).
  enum TextIndex { tiVersionInfo = 0, tiManufacturer = 1, tiProductFamily = 2, tiProductName = 3 };

  // A zero-filled record with the application's defaults.
  explicit TTwainIdentity(TKestraTwain *owner);
  ~TTwainIdentity() override = default;
  TTwainIdentity(const TTwainIdentity &) = delete;
  TTwainIdentity &operator=(const TTwainIdentity &) = delete;

  // From another TTwainIdentity (a TTwainSource too): the whole 156-byte record, Id included; the
  // owner stays. Anything else goes to the base, which rejects it.
  bool Assign(const TPersistent &source) override;

  // The owning manager.
  virtual TKestraTwain *Owner() const { return owner_; }

  uint16_t MajorVersion() const { return record_.Version.MajorNum; }
  void SetMajorVersion(uint16_t value) { record_.Version.MajorNum = value; }
  uint16_t MinorVersion() const { return record_.Version.MinorNum; }
  void SetMinorVersion(uint16_t value) { record_.Version.MinorNum = value; }
  // Stored as the TWLG_ code: ordinal minus 1 (tlUserLocale is stored 0xFFFF).
  TTwainLanguage Language() const;
  void SetLanguage(TTwainLanguage value);
  uint16_t CountryCode() const { return record_.Version.Country; }
  void SetCountryCode(uint16_t value) { record_.Version.Country = value; }
  // Writing always includes DG_CONTROL; reading always yields tgControl.
  TTwainGroups Groups() const;
  void SetGroups(TTwainGroups value);

  // Text fields: the characters up to the first NUL (at most 34). Writing zero-fills the field
  // and copies at most 33 characters, so the field always ends in a NUL.
  std::string GetString(int index) const;
  void SetString(int index, const std::string &value);
  std::string VersionInfo() const { return GetString(tiVersionInfo); }
  void SetVersionInfo(const std::string &v) { SetString(tiVersionInfo, v); }
  std::string Manufacturer() const { return GetString(tiManufacturer); }
  void SetManufacturer(const std::string &v) { SetString(tiManufacturer, v); }
  std::string ProductFamily() const { return GetString(tiProductFamily); }
  void SetProductFamily(const std::string &v) { SetString(tiProductFamily, v); }
  std::string ProductName() const { return GetString(tiProductName); }
  void SetProductName(const std::string &v) { SetString(tiProductName, v); }

  // The record itself, handed to the source manager.
  TW_IDENTITY *Record() { return &record_; }
  const TW_IDENTITY *Record() const { return &record_; }

protected:
  TW_IDENTITY record_;

private:
  char *Field(int index);
  TKestraTwain *owner_;
};
