#include "GrowableCollection.h"

template class GrowableThingCollection<char*>;
template class GrowableThingCollection<void*>;
template class GrowablePointerCollection<char>;
