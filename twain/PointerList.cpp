#include "twain/PointerList.h"

#include <cstdlib>
#include <new>

TPointerList::TPointerList() { SetCapacity(GrowBy); }

TPointerList::~TPointerList() { std::free(Data); }

void TPointerList::SetCapacity(int n) {
  if (n <= 0 || n < Count)
    return;
  void *grown = std::realloc(Data, static_cast<size_t>(n) * sizeof(void *));
  if (!grown)
    throw std::bad_alloc();
  Data = static_cast<void **>(grown);
  for (int i = Capacity; i < n; ++i)
    Data[i] = nullptr;
  Capacity = n;
}

void TPointerList::SetCount(int n) {
  if (n < 0)
    return;
  while (Capacity < n)
    SetCapacity(Capacity + GrowBy);
  Count = n;
}

void TPointerList::Add(void *p) {
  SetCount(Count + 1);
  SetItem(Count - 1, p);
}

void *TPointerList::GetItem(int index) const { return index >= 0 && index < Count ? Data[index] : nullptr; }

void TPointerList::SetItem(int index, void *p) {
  if (index >= 0 && index < Count)
    Data[index] = p;
}

void TPointerList::Clear() {
  SetCount(0);
  SetCapacity(GrowBy);
}
