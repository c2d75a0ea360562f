#pragma once
// What the site file needs of the display-unit catalogue: the current unit of every
// category, in the catalogue's slot order, and a way to choose them again. The
// application's global catalogue stands behind it; the site file stores the choices and
// restores them when a site is opened.

#include <cstdint>
#include <vector>

// One category and the id of its current unit.
struct UnitPair {
    uint8_t categoryId = 0;
    uint8_t unitId = 0;

    bool operator==(const UnitPair&) const = default;
};

class CUnitPreferences {
public:
    virtual ~CUnitPreferences() = default;
    // Every category's id and current unit id, in slot order.
    virtual std::vector<UnitPair> GetUnitPairs() const = 0;
    // For each pair in order: a category the catalogue does not have is skipped;
    // otherwise the unit with that id becomes the category's current unit (unchanged
    // when the category has no such unit).
    virtual void SetUnitPairs(const std::vector<UnitPair>& pairs) = 0;
};
