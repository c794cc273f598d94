// A small growable array of untyped pointers. It never frees what its entries
// point to; freeing the list frees only its storage.
#pragma once

class TPointerList {
public:
  TPointerList();
  ~TPointerList();
  TPointerList(const TPointerList &) = delete;
  TPointerList &operator=(const TPointerList &) = delete;

  void Add(void *p);
  void Clear();
  void *GetItem(int index) const;
  void SetItem(int index, void *p);
  void SetCount(int n);
  void SetCapacity(int n);

  int Count = 0;
  int Capacity = 0;
  int GrowBy = 10;
  void **Data = nullptr;
};
