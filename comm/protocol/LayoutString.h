#pragma once

// Layout strings describe packed binary records, read left to right:
//   c/C byte (1), i/I 16-bit (2), l/L 32-bit (4), f/F float (4), d/D double (8),
//   N(...) the codes in the group N times over (N decimal; groups do not nest).
// "l17(c)l" is 25 bytes, "6(cfff)" 78, "i6(c)" 8.
//
// A layout is well formed when it holds only those codes, decimal counts each directly
// followed by a group, and closed, unnested groups, and describes at most LayoutMaxSize
// bytes. The walkers convert nothing for a malformed layout; LayoutSize reports it.

#include <cstddef>
#include <cstdint>

constexpr size_t LayoutMaxSize = 65535;  // largest record a layout may describe
constexpr int LayoutMalformed = -1;

// Bytes the layout describes, or LayoutMalformed. A null or empty layout describes 0 bytes.
int LayoutSize(const char* layout);
inline bool IsLayoutValid(const char* layout) { return LayoutSize(layout) >= 0; }

// Copies the record layout describes from source to destination, reversing every 2-, 4- and
// 8-byte element when swap is non-zero; returns the bytes walked (LayoutSize). Both buffers
// must hold that many bytes. Source and destination may be the same buffer (or must not
// overlap otherwise). A malformed layout copies nothing and returns 0.
uint16_t SwapByLayout(const void* source, void* destination, const char* layout, int swap);

// As SwapByLayout, but never reads or writes at or past size bytes: the walk stops before
// the first element that does not fit whole. Returns the bytes walked.
size_t SwapByLayoutBounded(const void* source, void* destination, size_t size,
                           const char* layout, int swap);

// Copy 2, 4 or 8 bytes, reversed when swap is set; return the size.
int Swap16Copy(const void* source, void* destination, int swap);
int CopySwap4(const void* source, void* destination, int swap);
int CopySwap8(const void* source, void* destination, int swap);

// value with its bytes reversed when swap is set.
uint16_t Swap16(uint16_t value, int swap);
uint32_t Swap32(uint32_t value, int swap);
