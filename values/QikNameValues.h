#pragma once
// CQikNameValues: the quick named-value engine. It tells what a named quantity
// ("DEGREES_F", "DO_PERCENTAGE", "DEPTH_METERS", values/QikValueNames.h) reads
// now on one instrument whose live samples a CQikSampleSource reads. Each name
// has a value function (values/QikValueFunctions.h) that copies a value the
// engine loaded or derives it from other named values, asking the engine for
// them in turn. Answers go into a CDataMap with a status under "ErrCode" and
// its text under "ErrStr".
//
// Use: construct an engine on the stack, Load it from the source (with the
// channel to bind to, or -1 and -1), ComputeRootValues to take the latest
// sample, then GetValue for any number of names. Load and ComputeRootValues may
// be repeated for a newer sample.
//
// Loaded values, in the words of the status texts:
// - root values: the test and site constants Load copies from the source
//   (start time, level-conversion settings, level references);
// - base values: one reading per base name (a name that carries one parameter
//   kind, see BaseNameTable), read by ComputeRootValues, and "TIMESTAMP".
//
// Threads. Each engine works on its own data. The value functions reach the
// engine that evaluates them as the current engine of the calling thread,
// which the constructor, Load and GetValue set and the destructor clears, so
// two threads evaluating on their own engines never meet. The registries of
// functions and base names are built once per process, safely from any thread,
// and only read afterwards. One engine is used by one thread at a time.
//
// Sound behaviour kept here: a parameter byte whose record number is outside
// the four records the source holds names no parameter; the parameter count is
// bounded by the parameter list the source holds; a loaded value that is not a
// finite number is stored as not available; a value function whose result is
// not a finite number fails with status 8.

#include "foundation/DataMap.h"
#include "values/QikSampleSource.h"
#include "values/UnitConversion.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The status of an evaluation ("ErrCode"); StatusText gives its "ErrStr".
enum QikValueStatus : int {
    kQikSuccess = 0,              // "Success"
    kQikFailed = 1,               // "Failed"
    kQikFunctionNotFound = 2,     // "Function not found"
    kQikNotLoaded = 3,            // "Level-0 function err"
    kQikRootNotFound = 4,         // "Root Value not found"
    kQikRootNotAvailable = 5,     // "Root Value not available"
    kQikBaseNotFound = 6,         // "Base Value not found"
    kQikBaseNotAvailable = 7,     // "Base Value not available"
    kQikValueNotAvailable = 8,    // "Value not available"
};

// A value function: writes the value of `name` into result under that
// spelling and returns 1, or returns 0 with the status in result.
using QikValueFunction = int (*)(std::string_view name, CDataMap& result);

// An upper-cased copy of text (ASCII letters only).
std::string QikNameUpper(std::string_view text);

class CQikNameValues {
public:
    // Not loaded, no source; the new engine is the thread's current engine.
    // Builds the process's registries on first use.
    CQikNameValues();
    // Stops being the thread's current engine.
    virtual ~CQikNameValues();
    CQikNameValues(const CQikNameValues&) = delete;
    CQikNameValues& operator=(const CQikNameValues&) = delete;

    // Makes this engine current and empties the base values. Then, when exactly
    // one of kind and parameter is negative, or the source is not ready,
    // nothing more: the source, the loaded flag, the root values and the
    // parameter map stay as they were. Otherwise binds the source, maps its
    // parameters to base names (keeping only parameter byte `parameter` among
    // those of kind `kind`), reloads the root values and marks the engine
    // loaded.
    void Load(CQikSampleSource& source, int kind, int parameter);
    // Reads the base values from the bound source's latest sample; 1. Without
    // a bound source the base values stay empty.
    int ComputeRootValues();
    // Makes this engine current and evaluates name into result: 1 when the
    // value was written. Status 3 before the first successful Load, 2 for a
    // name without a function; otherwise the function's own status.
    int GetValue(std::string_view name, CDataMap& result);

    // ---- Used by the value functions ------------------------------------------------

    // The calling thread's current engine, or null.
    static CQikNameValues* Current();

    // Copies the root / base value `name` (exact spelling) into result with its
    // own type: 1. Else 0 with status 4 / 6 (not loaded) or 5 / 7 (not usable).
    int GetStoredValue(std::string_view name, CDataMap& result) const;
    int GetBaseValue(std::string_view name, CDataMap& result) const;
    // The parameter kind of base name `name` (exact spelling): 1. Else 0 with
    // status 6.
    static int GetParameterCode(std::string_view name, CDataMap& result, ParameterTypeCode& kind);
    // raw with the user calibration of the channel that carries base name
    // `baseName` applied (in single precision), into out: 1. 0 when "DEGREES_C"
    // cannot be had, the base name is not mapped or has no kind, or the result
    // is not a finite number.
    int ApplyChannelCalibration(std::string_view baseName, double raw, double& out);
    // The source bound by the last successful Load, or null.
    CQikSampleSource* GetDataBlock() const { return m_dataBlock; }

    static void SetStatus(int status, CDataMap& result);
    static const char* StatusText(int status);

    // ---- Registries and parameter lists ---------------------------------------------

    // The function of name (any letter case): 1. 0 when none is registered.
    static int FindFunction(std::string_view name, QikValueFunction& function);
    // Base name to parameter kind (20 entries).
    static const std::map<std::string, ParameterTypeCode, std::less<>>& BaseNameTable();
    // Make sure the registries are filled (once per process).
    static void RegisterFunctions();
    static void RegisterBaseNames();

    // Keeps only the chosen (kind, parameter) pair among the positions of that
    // kind, when the pair is present; nothing when kind or parameter is -1.
    static void RemoveDuplicateParams(std::vector<int>& kinds, std::vector<int>& parameters, int kind,
                                      int parameter);
    // The parameter kind of one parameter byte of source; -1 when it names no
    // measured parameter (0, 6 to 9, 100 and up, a record number outside 1-4).
    static int ParameterKind(const CQikSampleSource& source, int parameter);

    // Base name to the parameter byte that carries it (after Load).
    const std::map<std::string, int, std::less<>>& GetParameterMap() const { return m_parameterMap; }
    bool IsLoaded() const { return m_loaded != 0; }

private:
    void MapParameters(std::vector<int>& kinds, std::vector<int>& parameters) const;
    void MapNamesToParameters(const std::vector<int>& kinds, const std::vector<int>& parameters);
    void LoadRootValues();
    void LoadBaseValues();

    CQikSampleSource* m_dataBlock = nullptr;
    CDataMap m_rootValues;
    CDataMap m_rootAvailable;
    int32_t m_loaded = 0;
    CDataMap m_baseValues;
    CDataMap m_baseAvailable;
    std::map<std::string, int, std::less<>> m_parameterMap;
};
