#pragma once
// The quick calibration and quick profiler tools as the views see them. The calibration
// tools register one implementation at start-up; until one is registered the views keep
// their QuickCal and Profiler buttons disabled and a posted Profiler command does nothing.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CCalCoeffsCond;
class CCalCoeffsDO;
class CCalCoeffsORP;
class CCalCoeffsPH;
class CQorChannel;
class CQorDevice;

// One finished run of the quick calibration sheet.
class CQuickCalRun {
public:
    virtual ~CQuickCalRun() = default;

    // The sheet's modal result: 12325 after Finish, any other value otherwise.
    virtual int GetResult() const = 0;
    // Whether the user chose the sensor "PH", "COND", "DO" or "ORP" (any letter case).
    virtual bool IsSensorSelected(std::string_view sensor) const = 0;
    // The calibration model of each sensor; null when the run has none.
    virtual const CCalCoeffsPH* GetPHCalculator() const = 0;
    virtual const CCalCoeffsCond* GetConductivityCalculator() const = 0;
    virtual const CCalCoeffsDO* GetDOCalculator() const = 0;
    virtual const CCalCoeffsORP* GetORPCalculator() const = 0;
    // Writes the run's report for result and appends the paths of the files written
    // (nothing when none was).
    virtual void WriteCalReport(int result, std::vector<std::string>& reportPaths) = 0;
};

class CCalibrationTools {
public:
    virtual ~CCalibrationTools() = default;

    // Runs the quick calibration sheet modally over channels of device and returns the
    // finished run.
    virtual std::unique_ptr<CQuickCalRun> RunQuickCal(const std::vector<CQorChannel*>& channels,
                                                      CQorDevice& device) = 0;
    // Runs the quick profiler modally over channels.
    virtual void RunQuickProfiler(const std::vector<CQorChannel*>& channels) = 0;
};

// The registered tools (the caller keeps them alive); null takes them away.
void RegisterCalibrationTools(CCalibrationTools* tools);
CCalibrationTools* GetCalibrationTools();
