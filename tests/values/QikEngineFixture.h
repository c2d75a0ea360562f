#pragma once
// The fixture of the quick named-value engine tests: the sonde of FillSonde, an
// engine, and a result map with readers of its value and status.

#include "tests/support/ScopedTimeZone.h"
#include "tests/values/FakeQikSampleSource.h"
#include "values/QikNameValues.h"
#include "values/QikValueNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>

namespace wvtest {

inline int StatusOf(const CDataMap& result)
{
    int32_t code = -1;
    result.GetInt(kQvErrCode, code);
    return code;
}

inline std::string StatusTextOf(const CDataMap& result)
{
    std::string text;
    result.GetString(kQvErrStr, text);
    return text;
}

// The double under name; NaN when the map holds none.
inline double DoubleOf(const CDataMap& result, std::string_view name)
{
    double v = std::nan("");
    result.GetDouble(name, v);
    return v;
}

class QikEngineFixture : public ::testing::Test {
protected:
    void SetUp() override { FillSonde(source); }
    void Reload(int kind = -1, int parameter = -1)
    {
        engine.Load(source, kind, parameter);
        engine.ComputeRootValues();
    }
    // Evaluates name into a fresh result map.
    int Get(std::string_view name)
    {
        result = CDataMap();
        return engine.GetValue(name, result);
    }

    ScopedTimeZone tz{"UTC"};
    FakeQikSampleSource source;
    CQikNameValues engine;
    CDataMap result;
};

} // namespace wvtest
