#include "StringCollection.h"

#include "SafeString.h"

namespace {

// Holds a collection's change lock: no other thread adds, removes or reorders meanwhile.
class ChangeHold {
 public:
  explicit ChangeHold(GrowablePointerCollection<char>& c) : c_(c) { c_.Lock(); }
  ~ChangeHold() { c_.Unlock(); }
  ChangeHold(const ChangeHold&) = delete;
  ChangeHold& operator=(const ChangeHold&) = delete;

 private:
  GrowablePointerCollection<char>& c_;
};

}  // namespace

bool StringCollection::Add(const char* text, int* index) {
  if (!text) return false;
  ChangeHold hold(strings_);
  if (!strings_.Add(const_cast<char*>(text))) return false;
  if (index) *index = strings_.IndexOf(text);
  return true;
}

const char* StringCollection::GetAt(int index) { return strings_.GetPointer(index); }

int StringCollection::GetCount() { return strings_.GetCount(); }

SortedStringCollection::SortedStringCollection(bool caseSensitive)
    : compare_(caseSensitive ? static_cast<int (*)(const char*, const char*)>(MbsCompare)
                             : static_cast<int (*)(const char*, const char*)>(MbsCompareNoCase)) {}

// Binary search with the caller holding the change lock. With stopAtEqual it returns the
// first equal string met; otherwise the lower bound, where an equal string goes first.
int SortedStringCollection::Search(const char* text, bool stopAtEqual, bool* equal) {
  *equal = false;
  int lo = 0;
  int hi = strings_.GetCount();
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    int c = compare_(strings_.GetPointer(mid), text);
    if (c == 0) {
      *equal = true;
      if (stopAtEqual) return mid;
    }
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

bool SortedStringCollection::InsertSorted(const char* text, bool allowDuplicates) {
  if (!text) return false;
  ChangeHold hold(strings_);  // the search and the insertion see the same list
  bool equal;
  int at = Search(text, !allowDuplicates, &equal);
  if (equal && !allowDuplicates) return false;
  return strings_.InsertAt(const_cast<char*>(text), at);
}

int SortedStringCollection::Find(const char* text) {
  if (!text) return -1;
  ChangeHold hold(strings_);
  bool equal;
  int at = Search(text, true, &equal);
  return equal ? at : -1;
}
