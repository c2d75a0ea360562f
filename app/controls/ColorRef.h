#pragma once
// Colours given as the 32-bit numbers of the program's settings and texts: red in the
// lowest byte, then green, then blue (0xFF0000 is blue).

#include <QColor>

#include <cstdint>

namespace wvctl {

inline QColor ColorFromRef(uint32_t ref)
{
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF), static_cast<int>((ref >> 16) & 0xFF));
}

} // namespace wvctl
