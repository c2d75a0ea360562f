// The value set catalogues and the name, id and slot look-ups.

#include "comm/ValueSet.h"

#include "comm/DeviceImage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CValueSet Built(int kind)
{
    CValueSet set;
    set.Build(kind);
    return set;
}

} // namespace

TEST(ValueSetTest, EachKindHasItsSlots)
{
    struct Case {
        int kind;
        int slots;
    };
    for (const Case& c : {Case{kValueSetRaw, 43}, Case{kValueSetCooked, 43}, Case{kValueSetBase, 39},
                          Case{kValueSetUser, 17}}) {
        SCOPED_TRACE(c.kind);
        const CValueSet set = Built(c.kind);
        EXPECT_EQ(set.Kind(), c.kind);
        EXPECT_EQ(set.Size(), c.slots);
        EXPECT_TRUE(set.IsValidSlot(0));
        EXPECT_TRUE(set.IsValidSlot(c.slots - 1));
        EXPECT_FALSE(set.IsValidSlot(c.slots));
        EXPECT_FALSE(set.IsValidSlot(-1));
        std::string name;
        EXPECT_FALSE(set.GetName(c.slots, name));
        for (int slot = 0; slot < c.slots; ++slot) {
            EXPECT_EQ(set.GetTypeAt(slot), -1);
            EXPECT_EQ(set.GetUsedAt(slot), 0);
        }
    }

    CValueSet cleared = Built(kValueSetUser);
    cleared.Clear();
    EXPECT_EQ(cleared.Kind(), -1);
    for (int slot = -1; slot < 45; ++slot) {
        EXPECT_FALSE(cleared.IsValidSlot(slot));
    }
    EXPECT_EQ(cleared.GetIdByName("USER_RTD"), -1);
    CValueSet unknown;
    unknown.Build(4);
    EXPECT_EQ(unknown.Kind(), -1);
    EXPECT_EQ(unknown.Size(), 0);
}

TEST(ValueSetTest, CatalogueEntriesBySlot)
{
    struct Entry {
        int kind;
        int slot;
        const char* name;
        int32_t id;
    };
    const Entry entries[] = {
        {kValueSetRaw, 0, "RAW_TPCB", 100},
        {kValueSetRaw, 4, "RAW_PXD", 2},
        {kValueSetRaw, 13, "RAW_CONDLO", 146},
        {kValueSetRaw, 18, "RAW_BATT_V", 5},
        {kValueSetRaw, 19, "RAW_HDO_DO", 160},
        {kValueSetRaw, 23, "RAW_HDO_DO", 170},
        {kValueSetRaw, 24, "RAW_HDO_TEMP ", 171},
        {kValueSetRaw, 25, "RAW_HDO_DPHASE ", 172},
        {kValueSetRaw, 42, "RAW_HDO_RED_EXCEPTION", 195},
        {kValueSetCooked, 24, "COOKED_HDO_TEMP", 171},
        {kValueSetCooked, 38, "COOKED_HDO_RED_REF\t", 191},
        {kValueSetBase, 0, "BASE_TIMESTAMP", 99},
        {kValueSetBase, 4, "BASE_TURB", 4},
        {kValueSetBase, 13, "BASE_COND", 45},
        {kValueSetBase, 34, "BASE_HDO_RED_REF\t", 191},
        {kValueSetBase, 38, "BASE_HDO_RED_EXCEPTION", 195},
        {kValueSetUser, 0, "USER_TIMESTAMP", 99},
        {kValueSetUser, 14, "USER_BATT_V", 5},
        {kValueSetUser, 15, "USER_HDO_DO", 160},
        {kValueSetUser, 16, "USER_HDO2_DO", 170},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        const CValueSet set = Built(e.kind);
        std::string name;
        ASSERT_TRUE(set.GetName(e.slot, name));
        EXPECT_EQ(name, e.name);
        EXPECT_EQ(set.GetIdAt(e.slot), e.id);
        int slot = -1;
        ASSERT_TRUE(set.FindSlotById(e.id, slot));
        EXPECT_EQ(slot, e.slot);
    }
}

TEST(ValueSetTest, SharedNamesReachTheLaterSlotAndIdsReachEach)
{
    const CValueSet raw = Built(kValueSetRaw);
    int slot = -1;
    ASSERT_TRUE(raw.FindSlot("RAW_HDO_DO", slot));
    EXPECT_EQ(slot, 23);
    EXPECT_EQ(raw.GetIdByName("RAW_HDO_DO"), 170);
    std::string name;
    ASSERT_TRUE(raw.GetNameById(160, name));
    EXPECT_EQ(name, "RAW_HDO_DO");
    ASSERT_TRUE(raw.FindSlotById(160, slot));
    EXPECT_EQ(slot, 19);
    // The names with a trailing blank are their own.
    EXPECT_EQ(raw.GetIdByName("RAW_HDO_TEMP"), 161);
    EXPECT_EQ(raw.GetIdByName("RAW_HDO_TEMP "), 171);
    EXPECT_EQ(raw.GetIdByName("RAW_HDO_DPHASE"), -1);
    EXPECT_EQ(raw.GetIdByName("raw_tpcb"), -1);  // exact names only

    const CValueSet base = Built(kValueSetBase);
    EXPECT_EQ(base.GetIdByName("BASE_HDO_TEMP"), 171);
    EXPECT_EQ(base.GetIdByName("BASE_HDO_DO"), 170);
    EXPECT_EQ(base.GetIdByName("BASE_HDO_RED_REF"), -1);
    EXPECT_EQ(base.GetIdByName("BASE_HDO_RED_REF\t"), 191);
    EXPECT_FALSE(base.GetNameById(101, name));
}

TEST(ValueSetTest, TypesAndUsedFlagsByName)
{
    CValueSet set = Built(kValueSetBase);
    EXPECT_EQ(set.GetTypeByName("BASE_RTD"), -1);
    EXPECT_EQ(set.GetUsedByName("BASE_RTD"), 0);
    EXPECT_TRUE(set.SetType("BASE_RTD", 2));
    EXPECT_TRUE(set.SetUsed("BASE_RTD", 1));
    EXPECT_EQ(set.GetTypeByName("BASE_RTD"), 2);
    EXPECT_EQ(set.GetUsedByName("BASE_RTD"), 1);
    int slot = -1;
    ASSERT_TRUE(set.FindSlotByType(2, slot));
    EXPECT_EQ(slot, 1);

    EXPECT_FALSE(set.SetType("BASE_NOTHING", 3));
    EXPECT_FALSE(set.SetUsed("BASE_NOTHING", 1));
    EXPECT_EQ(set.GetTypeByName("BASE_NOTHING"), -1);
    EXPECT_EQ(set.GetUsedByName("BASE_NOTHING"), 0);
    EXPECT_FALSE(set.FindSlot("BASE_NOTHING", slot));
    EXPECT_FALSE(set.FindSlotByType(77, slot));

    // A shared name types the later slot only.
    EXPECT_TRUE(set.SetType("BASE_HDO_DO", 28));
    EXPECT_EQ(set.GetTypeAt(19), 28);
    EXPECT_EQ(set.GetTypeAt(15), -1);

    // Building again starts from the table.
    set.Build(kValueSetBase);
    EXPECT_EQ(set.GetTypeByName("BASE_RTD"), -1);
    EXPECT_EQ(set.GetUsedByName("BASE_RTD"), 0);
    EXPECT_FALSE(set.FindSlotByType(2, slot));
}

TEST(ValueSetTest, ReadingOfAnImage)
{
    CDeviceImage image;
    image.Reset();
    CDeviceReading reading(&image);
    uint16_t value = 1;
    EXPECT_FALSE(reading.GetRawValue("RAW_PXD", value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(reading.SetRawValue("RAW_PXD", 0xFFFF));
    EXPECT_EQ(image.GetValueSet(kValueSetRaw)->GetUsedByName("RAW_PXD"), 1);
    ASSERT_TRUE(reading.GetRawValue("RAW_PXD", value));
    EXPECT_EQ(value, 65535);
    EXPECT_FALSE(reading.SetRawValue("RAW_NOTHING", 5));
    EXPECT_FALSE(reading.SetRawValue("BASE_PXD", 5));

    double julian = 1.0;
    EXPECT_TRUE(reading.GetTimestamp(julian));
    EXPECT_EQ(julian, 0.0);
    EXPECT_TRUE(reading.SetTimestamp(2451545.25));
    EXPECT_TRUE(reading.GetTimestamp(julian));
    EXPECT_EQ(julian, 2451545.25);

    // Released readings hold no computed values.
    double computed = 1.0;
    EXPECT_FALSE(reading.GetBaseValue("BASE_TIMESTAMP", computed));
    EXPECT_EQ(computed, 0.0);
    EXPECT_FALSE(reading.GetCookedValue("COOKED_PXD", computed));
    EXPECT_FALSE(reading.GetUserValue("USER_PXD", computed));
    EXPECT_FALSE(reading.IsLocked());
}
