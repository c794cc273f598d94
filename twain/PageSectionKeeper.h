// Keeps a spare page section ready in the pool, made and touched on a thread of its own. While
// the writer's queue grows (a fast scanner, a slow disk) no written page gives its section back,
// and every page would otherwise wait in the strip copy for the system to map and zero 25 MB of
// fresh memory on the scanning thread; here that happens beside the scan.
#pragma once

#include "twain/PageSectionPool.h"
#include "win/Owners.h"

#include <windows.h>

#include <cstdint>

class TPageSectionKeeper {
public:
  static constexpr size_t kSpares = 1;
  // Larger pages get no spare: in a 32-bit process a second one could cost the page its memory.
  // An A4 colour page at 600 dpi is 100 MB.
  static constexpr uint64_t kMaximumSpareBytes = 128u << 20;

  explicit TPageSectionKeeper(TPageSectionPool &pool = TPageSectionPool::Shared());
  ~TPageSectionKeeper();
  TPageSectionKeeper(const TPageSectionKeeper &) = delete;
  TPageSectionKeeper &operator=(const TPageSectionKeeper &) = delete;

private:
  static DWORD WINAPI ThreadEntry(LPVOID self);
  void KeepSpares();

  TPageSectionPool &Pool;
  win::UniqueHandle Wanted; // a page-sized section was taken or made
  win::UniqueHandle Stop;
  win::UniqueHandle Thread;
};
