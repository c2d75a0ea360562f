#include "comm/protocol/LayoutString.h"

#include <cstring>

namespace {

// Size of one element code, or 0 when c is not a code.
size_t CodeSize(char c)
{
    switch (c) {
    case 'c': case 'C':
        return 1;
    case 'i': case 'I':
        return 2;
    case 'l': case 'L': case 'f': case 'F':
        return 4;
    case 'd': case 'D':
        return 8;
    default:
        return 0;
    }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Copies n bytes, reversed when swap is set; safe when source == destination.
void CopyElement(const uint8_t* source, uint8_t* destination, size_t n, bool swap)
{
    uint8_t tmp[8];
    std::memcpy(tmp, source, n);
    if (swap) {
        for (size_t i = 0; i < n; ++i) {
            destination[i] = tmp[n - 1 - i];
        }
    } else {
        std::memcpy(destination, tmp, n);
    }
}

// Walks a well-formed layout, converting elements while they fit in size bytes.
size_t Walk(const uint8_t* source, uint8_t* destination, size_t size, const char* layout,
            bool swap)
{
    size_t count = 0;
    const char* p = layout;
    auto element = [&](char code) {
        const size_t n = CodeSize(code);
        if (n > size - count) {
            return false;
        }
        CopyElement(source + count, destination + count, n, swap);
        count += n;
        return true;
    };
    while (*p != '\0') {
        if (CodeSize(*p) != 0) {
            if (!element(*p)) {
                return count;
            }
            ++p;
            continue;
        }
        // A decimal count and its group (validated before the walk).
        size_t repeat = 0;
        while (IsDigit(*p)) {
            repeat = repeat * 10 + static_cast<size_t>(*p - '0');
            ++p;
        }
        const char* group = p + 1;  // behind '('
        const char* close = group;
        while (*close != ')') {
            ++close;
        }
        if (close != group) {
            for (size_t r = 0; r < repeat; ++r) {
                for (const char* q = group; q != close; ++q) {
                    if (!element(*q)) {
                        return count;
                    }
                }
            }
        }
        p = close + 1;
    }
    return count;
}

} // namespace

int LayoutSize(const char* layout)
{
    if (layout == nullptr) {
        return 0;
    }
    uint64_t total = 0;
    const char* p = layout;
    while (*p != '\0') {
        const size_t code = CodeSize(*p);
        if (code != 0) {
            total += code;
            ++p;
        } else if (IsDigit(*p)) {
            uint64_t repeat = 0;
            while (IsDigit(*p)) {
                repeat = repeat * 10 + static_cast<uint64_t>(*p - '0');
                if (repeat > LayoutMaxSize) {
                    return LayoutMalformed;  // no record is that large
                }
                ++p;
            }
            if (*p != '(') {
                return LayoutMalformed;  // a count with no group
            }
            ++p;
            uint64_t group = 0;
            while (*p != ')') {
                const size_t n = CodeSize(*p);
                if (n == 0) {
                    return LayoutMalformed;  // unclosed group, nested group or stray text
                }
                group += n;
                if (group > LayoutMaxSize) {
                    return LayoutMalformed;
                }
                ++p;
            }
            ++p;
            total += repeat * group;
        } else {
            return LayoutMalformed;  // stray character, '(' without count or unmatched ')'
        }
        if (total > LayoutMaxSize) {
            return LayoutMalformed;
        }
    }
    return static_cast<int>(total);
}

uint16_t SwapByLayout(const void* source, void* destination, const char* layout, int swap)
{
    const int size = LayoutSize(layout);
    if (size <= 0 || source == nullptr || destination == nullptr) {
        return 0;
    }
    return static_cast<uint16_t>(Walk(static_cast<const uint8_t*>(source),
                                      static_cast<uint8_t*>(destination),
                                      static_cast<size_t>(size), layout, swap != 0));
}

size_t SwapByLayoutBounded(const void* source, void* destination, size_t size,
                           const char* layout, int swap)
{
    if (size == 0 || LayoutSize(layout) <= 0 || source == nullptr || destination == nullptr) {
        return 0;
    }
    return Walk(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(destination), size,
                layout, swap != 0);
}

int Swap16Copy(const void* source, void* destination, int swap)
{
    CopyElement(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(destination), 2,
                swap != 0);
    return 2;
}

int CopySwap4(const void* source, void* destination, int swap)
{
    CopyElement(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(destination), 4,
                swap != 0);
    return 4;
}

int CopySwap8(const void* source, void* destination, int swap)
{
    CopyElement(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(destination), 8,
                swap != 0);
    return 8;
}

uint16_t Swap16(uint16_t value, int swap)
{
    return swap ? static_cast<uint16_t>((value >> 8) | (value << 8)) : value;
}

uint32_t Swap32(uint32_t value, int swap)
{
    if (!swap) {
        return value;
    }
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
           (value << 24);
}
