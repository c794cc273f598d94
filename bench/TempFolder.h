// A folder of its own in %TEMP% for a benchmark's files, deleted with everything in it at the end.
#pragma once

#include <string>
#include <vector>

class TBenchFolder {
public:
  explicit TBenchFolder(const std::string &name);
  ~TBenchFolder();
  TBenchFolder(const TBenchFolder &) = delete;
  TBenchFolder &operator=(const TBenchFolder &) = delete;

  const std::string &Path() const { return Folder; }
  // Deletes the files in the folder, leaving the folder.
  void Empty() const;
  int FileCount() const;
  std::vector<std::string> FileNames() const;

private:
  std::string Folder;
};
