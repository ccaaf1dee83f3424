// Lists of borrowed narrow strings: each string must outlive its place in the list.
#pragma once
#include "GrowableCollection.h"

class StringCollection {
 public:
  StringCollection() : strings_(10) {}
  virtual ~StringCollection() = default;
  StringCollection(const StringCollection&) = delete;
  StringCollection& operator=(const StringCollection&) = delete;

  // Appends the pointer; index (when given) receives the first slot that holds it.
  virtual bool Add(const char* text, int* index);
  virtual const char* GetAt(int index);
  virtual int GetCount();

 protected:
  GrowablePointerCollection<char> strings_;
};

// Kept in order by InsertSorted; Find assumes every string was placed that way.
class SortedStringCollection : public StringCollection {
 public:
  explicit SortedStringCollection(bool caseSensitive);

  // Inserts before the first string that compares equal or greater; an equal string
  // already held refuses the insertion unless duplicates are allowed.
  virtual bool InsertSorted(const char* text, bool allowDuplicates);
  // The index of an equal string (any of several), or -1.
  int Find(const char* text);

 private:
  int Search(const char* text, bool stopAtEqual, bool* equal);

  int (*compare_)(const char* a, const char* b);
};
