// The station's settings in an INI file. Read on demand, kept in memory when written, and
// written to the file only when the store is destroyed.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TSettingsStore {
public:
  // Asked for the file's full path each time the store needs it.
  using TFileNameRequest = std::function<std::string()>;

  explicit TSettingsStore(TFileNameRequest fileNameRequest, std::string defaultSection = "Main");
  // Creates the file's folder chain and writes every value set since creation.
  ~TSettingsStore();
  TSettingsStore(const TSettingsStore &) = delete;
  TSettingsStore &operator=(const TSettingsStore &) = delete;

  void SetDefaultSection(const std::string &section) { DefaultSection = section; }
  std::string FileName() const;

  // The value of key in the default section, or def when the file, section or key is missing.
  std::string ReadString(const std::string &key, const std::string &def) const;
  void WriteString(const std::string &key, const std::string &value);
  // Writes the file now (the session ends and destruction may never come); again at destruction.
  // False when the file could not be written (another user's file, a read-only folder).
  bool WriteNow() const { return WritePending(); }

private:
  struct TPendingValue {
    std::string Section, Key, Value;
  };
  bool WritePending() const;

  TFileNameRequest FileNameRequest;
  std::string DefaultSection;
  std::vector<TPendingValue> Pending;
};
