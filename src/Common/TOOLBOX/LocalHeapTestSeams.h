// Test-only control of the local-heap helpers.
#pragma once
#include <cstddef>

// While set, a request of this many bytes fails when the function returns true.
using LocalBlockFailure = bool (*)(size_t bytes);
void LocalBlockTestSetFailure(LocalBlockFailure fails);
