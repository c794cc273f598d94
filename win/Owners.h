// Owners of Windows resources: each frees what it holds when it goes out of scope,
// so logic code never has a manual cleanup path.
#pragma once

#include "win/GlobalMemory.h"

#include <windows.h>

#include <utility>

namespace win {

struct CloseHandleFree {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct FreeLibraryFree {
  void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
struct DestroyWindowFree {
  void operator()(HWND h) const { ::DestroyWindow(h); }
};
struct DeleteObjectFree {
  void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct DeleteDCFree {
  void operator()(HDC h) const { ::DeleteDC(h); }
};

using UniqueHandle = Unique<HANDLE, nullptr, CloseHandleFree>;
using UniqueLibrary = Unique<HMODULE, nullptr, FreeLibraryFree>;
using UniqueWindow = Unique<HWND, nullptr, DestroyWindowFree>;
using UniqueBitmap = Unique<HBITMAP, nullptr, DeleteObjectFree>;
using UniqueFont = Unique<HFONT, nullptr, DeleteObjectFree>;
using UniqueBrush = Unique<HBRUSH, nullptr, DeleteObjectFree>;
using UniqueMemoryDC = Unique<HDC, nullptr, DeleteDCFree>;

// A file opened with CreateFile, which answers INVALID_HANDLE_VALUE rather than null.
class UniqueFile {
public:
  explicit UniqueFile(HANDLE file) : handle_(file == INVALID_HANDLE_VALUE ? nullptr : file) {}
  void reset(HANDLE file) { handle_.reset(file == INVALID_HANDLE_VALUE ? nullptr : file); }
  HANDLE get() const { return handle_.get(); }
  // For a close whose result counts: the last moment a write can still fail.
  HANDLE release() { return handle_.release(); }
  explicit operator bool() const { return static_cast<bool>(handle_); }

private:
  UniqueHandle handle_;
};

// A device context taken with GetDC and given back with ReleaseDC (null window = the screen).
class WindowDC {
public:
  explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDC() {
    if (dc_)
      ::ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC &) = delete;
  WindowDC &operator=(const WindowDC &) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

private:
  HWND window_;
  HDC dc_;
};

// The device context of a WM_PAINT, from BeginPaint to EndPaint.
class PaintDC {
public:
  explicit PaintDC(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintDC() { ::EndPaint(window_, &paint_); }
  PaintDC(const PaintDC &) = delete;
  PaintDC &operator=(const PaintDC &) = delete;
  HDC get() const { return dc_; }

private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
  HDC dc_;
};

class CriticalSection {
public:
  CriticalSection() { ::InitializeCriticalSection(&cs_); }
  ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection &) = delete;
  CriticalSection &operator=(const CriticalSection &) = delete;
  void Enter() { ::EnterCriticalSection(&cs_); }
  void Leave() { ::LeaveCriticalSection(&cs_); }

private:
  CRITICAL_SECTION cs_;
};

// Holds a critical section for one scope; leaves it also when the scope is left by an exception.
class Lock {
public:
  explicit Lock(CriticalSection &cs) : cs_(cs) { cs_.Enter(); }
  ~Lock() { cs_.Leave(); }
  Lock(const Lock &) = delete;
  Lock &operator=(const Lock &) = delete;

private:
  CriticalSection &cs_;
};

// A GDI object selected into a DC for one scope.
class SelectGuard {
public:
  SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~SelectGuard() {
    if (old_ && old_ != HGDI_ERROR)
      ::SelectObject(dc_, old_);
  }
  SelectGuard(const SelectGuard &) = delete;
  SelectGuard &operator=(const SelectGuard &) = delete;

private:
  HDC dc_;
  HGDIOBJ old_;
};

} // namespace win

namespace win {

struct VirtualFreeFree {
  void operator()(void *address) const { ::VirtualFree(address, 0, MEM_RELEASE); }
};

// Pages reserved and committed with VirtualAlloc.
using UniqueVirtualMemory = Unique<void *, nullptr, VirtualFreeFree>;

} // namespace win

#include <objbase.h>

namespace win {

struct CoTaskMemFreeFree {
  void operator()(void *memory) const { ::CoTaskMemFree(memory); }
};

// Memory the shell hands out (item ID lists of the folder picker).
using UniqueCoTaskMem = Unique<void *, nullptr, CoTaskMemFreeFree>;

// OLE on the calling thread for one scope; the shell's folder picker needs it.
class OleApartment {
public:
  OleApartment() : ok_(SUCCEEDED(::OleInitialize(nullptr))) {}
  ~OleApartment() {
    if (ok_)
      ::OleUninitialize();
  }
  OleApartment(const OleApartment &) = delete;
  OleApartment &operator=(const OleApartment &) = delete;

private:
  bool ok_;
};

} // namespace win

namespace win {

// A folder listing opened with FindFirstFile: the first entry is in `first` when it opened.
class FileSearch {
public:
  FileSearch(const char *pattern, WIN32_FIND_DATAA &first) : handle_(::FindFirstFileA(pattern, &first)) {}
  ~FileSearch() {
    if (handle_ != INVALID_HANDLE_VALUE)
      ::FindClose(handle_);
  }
  FileSearch(const FileSearch &) = delete;
  FileSearch &operator=(const FileSearch &) = delete;

  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAA &entry) { return ::FindNextFileA(handle_, &entry) != FALSE; }

private:
  HANDLE handle_;
};

} // namespace win
