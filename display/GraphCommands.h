#pragma once
// Command ids of a plot window's popup menu, also routed to the active window from the
// main menu's graph part, and the per-slot tables of channel and unit commands.

#include <array>
#include <cstdint>

namespace graphcmd {

inline constexpr int kSelectNone = 32845;
inline constexpr int kSelectAll = 32846;
inline constexpr int kSecondNone = 181;
inline constexpr int kLogTiming = 174;
inline constexpr int kZoomIn = 175;
inline constexpr int kRestore = 178;
inline constexpr int kHorzGrid = 179;
inline constexpr int kVertGrid = 180;
inline constexpr int kTimestamp = 193;
inline constexpr int kSettings = 194;
inline constexpr int kYAxisRange = 32832;
inline constexpr int kDataPoints = 32843;
inline constexpr int kPrint = 32844;

// Per slot of the series-by-type table: the primary and the second channel command.
inline constexpr std::array<int, 13> kPrimaryBySlot = {32847, 32848, 32849, 32850, 32851, 32852, 217,
                                                       32853, 205,   207,   208,   209,   214};
inline constexpr std::array<int, 13> kSecondBySlot = {182, 183, 184, 185, 186, 187, 218, 188, 206, 210, 211, 212, 215};

// One unit item: its text, command and unit id, for the slot it changes.
struct UnitCommand {
    uint32_t textId;
    int command;
    uint8_t unit;
};

} // namespace graphcmd
