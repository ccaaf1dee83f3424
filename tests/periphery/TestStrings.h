// String ids of the test program's string table.
#pragma once

#define IDS_SHORT 101
#define IDS_LONG 102  // 600 characters: A to Z repeated
#define IDS_MISSING 999
