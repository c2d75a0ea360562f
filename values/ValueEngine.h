#pragma once
// CValueEngine: what a named value of one device is, at one reading of that device.
//
// The engine binds a device image (Compute), takes the device's constants from it (the
// root values: start time, density, specific gravity, elevation, latitude, level
// references, serial number, device type), loads one reading of the image (LoadReading:
// the RAW, COOKED, BASE and USER parameters, the row values) and answers GetValue for any
// name through the calculation registered for it (values/ValueCalculations.h): a copy of
// a root or row value, or a value derived from other named values. Each answer goes into
// the caller's CDataMap under the name as requested, with the result-code bits under
// "ErrCode" and their texts, one a line, under "ErrStr" (values/ValueEngineServices.h).
// Display attributes (alias, units, format) come from the engine's definition table
// (GetAttribute, values/ValueDefTable.h).
//
// Calculations reach the engine that runs them through Current(): the engine of the
// operation running on the calling thread. An operation makes its engine current only
// while it runs, so the pointer never outlives the engine and two threads working on
// their own engines never meet. One engine is used by one thread at a time.
//
// Sound behaviour kept here: each GetValue starts the result's status afresh, so a map
// reused for many queries does not grow; the sign test of Compute cannot overflow; a
// derived value whose input could not be evaluated fails with 2048 instead of computing
// with the input's stand-in (the optional salinity excepted); the value definitions are
// rebuilt at every Reset, so a second device's ports never keep the first one's labels.

#include "foundation/DataMap.h"
#include "values/ValueDefTable.h"
#include "values/ValueEngineServices.h"
#include "values/ValueFunctionTable.h"
#include "values/ValueOriginTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CDeviceImage;
class CDeviceReading;

// A calculation: stores the value called name into result and returns 1, or returns 0
// with its result-code bits in result.
using ValueCalculation = int (*)(std::string_view name, CDataMap& result);

// The text of a result code ("Success", "Failed", ...; "Unknown error" for any other).
std::string GetValueResultText(int code);
// An upper-cased copy of name (ASCII letters).
std::string ValueNameUpper(std::string_view name);
// The name of a device type: the level loggers 20 to 28 and the sondes 30 to 40 by their
// model names, any other code "Unknown Entity".
std::string GetDeviceTypeName(int deviceType);

// The process-wide registry of calculations by upper-case name. Adding a name that is
// already there keeps the first entry. Safe from any thread.
void AddValueCalculation(std::string_view name, ValueCalculation calculation);
bool FindValueCalculation(std::string_view name, ValueCalculation& calculation);
bool HasValueCalculations();

class CValueEngine final : public CValueEngineServices {
public:
    // Uncomputed, no image; fills the calculation registry once per process and builds
    // the value definitions.
    CValueEngine();
    ~CValueEngine() override;
    CValueEngine(const CValueEngine&) = delete;
    CValueEngine& operator=(const CValueEngine&) = delete;

    // Resets, then (unless parameterType x parameterId is negative) binds image: its
    // constants, the used flags of its parameters, the function, origin and definition
    // tables; then the engine is computed. The image must outlive the binding (until the
    // next Compute or Reset).
    void Compute(CDeviceImage& image, int parameterType, int parameterId);
    // Uncomputed: forgets the image, roots, reading and table bindings.
    void Reset();
    // Loads reading n of the bound image (-1: the last) as the row values; 0, with no
    // reading loaded, when the image cannot give it.
    int LoadReading(int n);
    // No reading loaded; the row values are emptied (their validity stays).
    void ClearReading();
    // The value called name into result; 1 on success.
    int GetValue(std::string_view name, CDataMap& result) override;
    // A display attribute of name into result (CValueDefTable::GetAttribute); 0 with 1
    // "Failed" while uncomputed.
    int GetAttribute(std::string_view name, CDataMap& result, std::string_view attribute);

    bool IsComputed() const { return m_computed != 0; }
    bool IsReadingLoaded() const { return m_readingLoaded != 0; }

    // ---- Services of the calculations -------------------------------------------------

    // The engine of the operation running on this thread; null outside one.
    static CValueEngine* Current();

    // The calculation of name: the registry's entry of its upper-case spelling, else the
    // entry of the parameter the alias map gives for name.
    bool FindCalculation(std::string_view name, ValueCalculation& calculation) const;
    void SetError(int code, CDataMap& result) override;
    // The device constant name into result; 16 / 32 when absent / not valid.
    int GetRootValue(std::string_view name, CDataMap& result);
    // The reading's value of name (or of the parameter its alias names) into result under
    // name; 128 without a reading or for a parameter the device does not carry (512 when
    // reached by alias), 64 and 256 for a name unknown even by alias.
    int GetRowValue(std::string_view name, CDataMap& result);
    // The parameter type of the unit value name; false with 256 when there is none.
    bool GetAppliedValue(std::string_view name, CDataMap& result, int32_t& channelType);
    int SetValueFromText(CDataMap& result, std::string_view name, std::string_view text, int typeId) override;

    // Fetches the inputs of the derived value name into result (CValueOriginTable::
    // GetOriginValue). False when the origin table refuses, or when an input other than
    // the salinity could not be evaluated (then with 2048): the value then takes its
    // default (DefaultValue).
    bool FetchInputs(std::string_view name, CDataMap& result);
    // The derived value's own default (CValueOriginTable::GetDefaultValue).
    int DefaultValue(std::string_view name, CDataMap& result);

    // ---- State, for inspection ---------------------------------------------------------

    const CDataMap& GetRootValues() const { return m_rootValues; }
    const CDataMap& GetRootValidity() const { return m_rootValidity; }
    const CDataMap& GetRowValues() const { return m_rowValues; }
    const CDataMap& GetRowValidity() const { return m_rowValidity; }
    const CValueFunctionTable& GetFunctionTable() const { return m_functions; }
    const CValueOriginTable& GetOriginTable() const { return m_origins; }
    const CValueDefTable& GetDefinitionTable() const { return m_definitions; }
    const CDeviceImage* GetImage() const { return m_image; }

private:
    class Scope;

    void LoadDeviceConstants();
    void FillReadingValues(const CDeviceReading* reading);

    CDeviceImage* m_image = nullptr;
    CDataMap m_rootValues;
    CDataMap m_rootValidity;
    CValueFunctionTable m_functions;
    CValueOriginTable m_origins;
    CValueDefTable m_definitions;
    int32_t m_computed = 0;
    CDataMap m_rowValues;
    CDataMap m_rowValidity;
    int32_t m_readingLoaded = 0;
    // The inputs that failed while the innermost FetchInputs runs (null outside one).
    std::vector<std::string>* m_failedInputs = nullptr;
};

// Defined with the calculations (values/ValueCalculations.cpp): fills the registry once
// per process; the engine's constructor calls it.
void RegisterValueCalculations();
