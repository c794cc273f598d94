#include "tests/support/ScannerScenario.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testsupport {

ScannerScenario &ScannerScenario::Set(const std::string &key, const std::string &value) {
  for (auto &line : lines_)
    if (line.first == key && key != "fault") {
      line.second = value;
      return *this;
    }
  lines_.emplace_back(key, value);
  return *this;
}

ScannerScenario &ScannerScenario::Set(const std::string &key, long long value) {
  return Set(key, std::to_string(value));
}

ScannerScenario &ScannerScenario::Devices(const std::vector<std::string> &names) {
  std::string joined;
  for (const std::string &n : names)
    joined += (joined.empty() ? "" : "|") + n;
  return Set("devices", joined);
}

ScannerScenario &ScannerScenario::Fault(const std::string &spec) {
  lines_.emplace_back("fault", spec);
  return *this;
}

std::string ScannerScenario::Text() const {
  std::string text;
  for (const auto &line : lines_)
    text += line.first + " = " + line.second + "\n";
  return text;
}

bool ScannerScenario::WriteTo(const std::string &path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << Text();
  return static_cast<bool>(out);
}

std::string ScannerScenario::Install(const std::string &name) const {
  const std::string path = FreshTempFile(name);
  WriteTo(path);
  UseScenarioFile(path);
  return path;
}

std::string FreshTempFile(const std::string &name) {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + name;
  ::DeleteFileA(path.c_str());
  return path;
}

void UseScenarioFile(const std::string &path) {
  ::SetEnvironmentVariableA("TOVIK_VSCANNER_SCENARIO", path.empty() ? nullptr : path.c_str());
  // The C runtime keeps its own copy of the environment for getenv and child processes it starts.
  _putenv_s("TOVIK_VSCANNER_SCENARIO", path.c_str());
}

LoggedTriplet ParseTripletLine(const std::string &line) {
  LoggedTriplet t;
  t.line = line;
  std::istringstream in(line);
  in >> t.direction >> t.names;
  std::string numbers;
  in >> numbers;
  unsigned dg = 0, dat = 0, msg = 0;
  if (std::sscanf(numbers.c_str(), "0x%x/0x%x/0x%x", &dg, &dat, &msg) == 3) {
    t.dg = dg;
    t.dat = static_cast<uint16_t>(dat);
    t.msg = static_cast<uint16_t>(msg);
  }
  // key=value or key="value with spaces"
  std::string rest;
  std::getline(in, rest);
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && rest[i] == ' ')
      ++i;
    const size_t eq = rest.find('=', i);
    if (eq == std::string::npos)
      break;
    const std::string key = rest.substr(i, eq - i);
    std::string value;
    size_t end = eq + 1;
    if (end < rest.size() && rest[end] == '"') {
      const size_t close = rest.find('"', end + 1);
      value = rest.substr(end + 1, close == std::string::npos ? std::string::npos : close - end - 1);
      end = close == std::string::npos ? rest.size() : close + 1;
    } else {
      const size_t space = rest.find(' ', end);
      value = rest.substr(end, space == std::string::npos ? std::string::npos : space - end);
      end = space == std::string::npos ? rest.size() : space;
    }
    t.notes[key] = value;
    i = end;
  }
  t.rc = static_cast<uint16_t>(std::atoi(t.Note("rc").c_str()));
  t.cc = static_cast<uint16_t>(std::atoi(t.Note("cc").c_str()));
  return t;
}

std::vector<LoggedTriplet> ReadTripletLog(const std::string &path) {
  std::vector<LoggedTriplet> triplets;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!line.empty())
      triplets.push_back(ParseTripletLine(line));
  }
  return triplets;
}

} // namespace testsupport
