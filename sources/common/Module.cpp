#include "sources/common/Module.h"

#include <utility>
#include <vector>

namespace dscommon {
namespace {

HINSTANCE g_module = nullptr;
std::vector<std::string> g_classes;
void (*g_detach)() = nullptr;

} // namespace

void SetThisModule(HINSTANCE module) { g_module = module; }

HINSTANCE ThisModule() { return g_module ? g_module : ::GetModuleHandleA(nullptr); }

std::string ModuleFolder() {
  char path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(ThisModule(), path, MAX_PATH);
  std::string folder(path, n < MAX_PATH ? n : 0);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

bool EnsureWindowClass(const char *name, WNDPROC procedure) {
  for (const std::string &c : g_classes)
    if (c == name)
      return true;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = ThisModule();
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  if (!::RegisterClassExA(&wc)) {
    if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      return false;
    ::UnregisterClassA(name, ThisModule());
    if (!::RegisterClassExA(&wc))
      return false;
  }
  g_classes.emplace_back(name);
  return true;
}

void UnregisterWindowClasses() {
  for (const std::string &c : g_classes)
    ::UnregisterClassA(c.c_str(), ThisModule());
  g_classes.clear();
}

void AtDetach(void (*end)()) { g_detach = end; }

void RunDetachHooks() {
  if (void (*end)() = std::exchange(g_detach, nullptr))
    end();
}

} // namespace dscommon
