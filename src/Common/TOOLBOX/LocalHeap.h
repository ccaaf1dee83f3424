// Local-heap blocks for the containers and buffers: sizes are checked, so a request
// that cannot be expressed fails instead of allocating a short block.
#pragma once
#include <windows.h>
#include <cstddef>

// LocalAlloc (LMEM_FIXED) of count elements of elementSize bytes; NULL on failure and
// for a request of no bytes.
void* LocalBlockAlloc(size_t count, size_t elementSize = 1);
// LocalReAlloc (LMEM_MOVEABLE) of a fixed block; NULL on failure, the block untouched.
void* LocalBlockReAlloc(void* block, size_t count, size_t elementSize = 1);
