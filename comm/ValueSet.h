#pragma once
// The named quantities of a device image's readings, and one reading.
//
// A device image (comm/DeviceImage.h) names what its readings carry through four value
// sets, each a fixed catalogue built from a start-up table:
//   RAW     the instrument's 16-bit counts (43 parameters),
//   COOKED  counts converted without the final physical step (43),
//   BASE    engineering values (39),
//   USER    values after the channel's user calibration (17).
// A parameter has a name, an id (the instrument's parameter code; 99 the timestamp), a
// parameter type (the measured-quantity code of the unit conversions; -1 until the image
// types it) and a used flag (set for the parameters the image's data carries).
//
// Names are looked up exactly (case-sensitive; a few end in a blank or a tab). Some names
// occur twice in one set (the two optical oxygen sensors' "RAW_HDO_DO", "COOKED_HDO_DO",
// "BASE_HDO_DO", "COOKED_HDO_TEMP" and "BASE_HDO_TEMP"): a lookup by such a name reaches the
// later slot (the second sensor, ids 170 and 171); lookups by id and by slot reach each
// parameter. The image itself stores, types and computes by slot, so the two sensors never
// share a value.
//
// A CDeviceReading is one sample of an image: its timestamp and its RAW counts. While a
// caller holds it (CDeviceImage::GetReading) it is locked and carries its computed COOKED,
// BASE and USER values; giving it back (CDeviceImage::ReleaseReading) drops them.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CDeviceImage;

// Kinds of value set (CDeviceImage::GetValueSet).
inline constexpr int kValueSetRaw = 0;
inline constexpr int kValueSetCooked = 1;
inline constexpr int kValueSetBase = 2;
inline constexpr int kValueSetUser = 3;
inline constexpr int kValueSetCleared = -1;

// Parameters of each kind.
inline constexpr int kRawParameters = 43;
inline constexpr int kCookedParameters = 43;
inline constexpr int kBaseParameters = 39;
inline constexpr int kUserParameters = 17;

// The parameter id of the timestamp (BASE and USER).
inline constexpr int32_t kTimestampParameterId = 99;
// A parameter type not yet set.
inline constexpr int32_t kParameterTypeUnset = -1;

class CValueSet {
public:
    CValueSet() = default;
    virtual ~CValueSet() = default;

    // Clears the set and appends the start-up table of kind (0 RAW to 3 USER) in order,
    // slot = table position; any other kind leaves the set cleared.
    void Build(int kind);
    // Kind -1, no parameters.
    void Clear();

    int Kind() const { return m_kind; }
    // Parameters in the set.
    int Size() const { return static_cast<int>(m_names.size()); }

    // The name of a valid slot.
    bool GetName(int slot, std::string& name) const;
    // The name of the parameter with id (false when the set has no such id).
    bool GetNameById(int32_t id, std::string& name) const;
    // The slot of a name (false when absent or invalid).
    bool FindSlot(const std::string& name, int& slot) const;
    // The id, type and used flag of a name: -1, -1 and 0 when the name is absent.
    int32_t GetIdByName(const std::string& name) const;
    int32_t GetTypeByName(const std::string& name) const;
    int32_t GetUsedByName(const std::string& name) const;
    // Sets the type of a name's slot and maps the type to that slot; false when absent.
    bool SetType(const std::string& name, int32_t type);
    // Sets the used flag of a name's slot; false when absent.
    bool SetUsed(const std::string& name, int32_t used);
    // 0 <= slot < 43 for RAW and COOKED, < 39 for BASE, < 17 for USER; never for a cleared set.
    bool IsValidSlot(int slot) const;

    // The same by id and by slot (each parameter reached on its own).
    bool FindSlotById(int32_t id, int& slot) const;
    // The slot that was last given type (SetType or SetTypeAt).
    bool FindSlotByType(int32_t type, int& slot) const;
    int32_t GetIdAt(int slot) const;     // -1 for an invalid slot
    int32_t GetTypeAt(int slot) const;   // -1 for an invalid slot
    int32_t GetUsedAt(int slot) const;   // 0 for an invalid slot
    bool SetTypeAt(int slot, int32_t type);
    bool SetUsedAt(int slot, int32_t used);

private:
    int m_kind = kValueSetCleared;
    std::vector<std::string> m_names;
    std::vector<int32_t> m_ids;
    std::vector<int32_t> m_types;
    std::vector<int32_t> m_used;
    std::map<int32_t, int> m_slotById;
    std::map<int32_t, int> m_slotByType;
    std::map<std::string, int> m_slotByName;
};

class CDeviceReading {
public:
    // 43 RAW zeros, no timestamp, unlocked.
    explicit CDeviceReading(CDeviceImage* owner);
    virtual ~CDeviceReading() = default;

    CDeviceReading(const CDeviceReading&) = delete;
    CDeviceReading& operator=(const CDeviceReading&) = delete;

    // The timestamp as a Julian day; both return true.
    bool SetTimestamp(double julianDay);
    bool GetTimestamp(double& julianDay) const;

    // Stores value in the RAW slot of name and marks that parameter used in the owner's
    // RAW set; false (nothing stored) when the name is not in the set.
    bool SetRawValue(const std::string& name, uint16_t value);
    // The value of a RAW name, true when the parameter exists and is used; else 0 and false.
    bool GetRawValue(const std::string& name, uint16_t& value) const;
    // The held value of a name in that set, true when the parameter exists and is used and
    // the reading holds its computed values; else 0.0 and false.
    bool GetCookedValue(const std::string& name, double& value) const;
    bool GetBaseValue(const std::string& name, double& value) const;
    bool GetUserValue(const std::string& name, double& value) const;

    bool IsLocked() const { return m_locked; }
    // The RAW count of a slot (0 for an invalid slot), and a count stored by slot.
    uint16_t GetRawValueAt(int slot) const;
    bool SetRawValueAt(int slot, uint16_t value);

private:
    friend class CDeviceImage;

    bool GetComputed(int kind, const std::vector<double>& values, const std::string& name, double& value) const;

    CDeviceImage* m_owner;
    bool m_locked = false;
    double m_timestamp = 0.0;
    // Raw counts are unsigned 16-bit (0 to 65535).
    std::array<uint16_t, kRawParameters> m_raw{};
    std::vector<double> m_cooked;
    std::vector<double> m_base;
    std::vector<double> m_user;
};
