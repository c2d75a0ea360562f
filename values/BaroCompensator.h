#pragma once
// CBaroCompensator: the barometric compensation of a level logger's test data file.
//
// A level logger with an absolute pressure sensor records water pressure plus air pressure.
// Run reads the level file into a device image, subtracts a barometric pressure from every
// sample and writes the result as a new test data file: the compensated value is stored back
// into the reading's raw count (the count whose value comes nearest the target), so the
// output keeps the format and the conversions of the input. The barometric pressure comes,
// by mode, from the sample itself (0), from a fixed pressure (1), or from the samples of a
// barometric logger's file interpolated in time (2). Images of level loggers other than
// type 28 work on "RAW_PXD"/"BASE_PXD" (they are compensated: value minus pressure); every
// other image on "RAW_BARO"/"BASE_BARO" (it receives the pressure itself).
//
// The files are read and written through the test-data-file service it is given
// (comm/DeviceImageFiles.h); values are computed with the values library's conversions.
//
// Sound behaviour: every input is checked and both files are read before the target is
// touched, and the target is written to a temporary file renamed over the old one at the
// end, so a failed run leaves any old target as it was; a target that cannot be written
// gives status 1. Barometric samples are sorted by time with exact duplicates dropped, a
// single sample holds at every time, and the span runs from the earliest to the latest. A
// compensated value that no raw count reaches within one count step is dropped (status 256
// and 64) instead of being written as the end count.

#include "comm/DeviceImage.h"

#include <string>
#include <utility>
#include <vector>

class CDeviceImageFiles;

// Status bits of a run.
inline constexpr int kBaroStatusMissingFile = 1;     // source or barometric file missing, target not writable
inline constexpr int kBaroStatusReadFailed = 2;      // a file could not be read, or no barometric samples
inline constexpr int kBaroStatusBeforeSpan = 4;      // fixed pressure used before the first sample
inline constexpr int kBaroStatusAfterSpan = 8;       // fixed pressure used after the last sample
inline constexpr int kBaroStatusDroppedBefore = 16;  // range mode 1: dropped before the span
inline constexpr int kBaroStatusDroppedAfter = 32;   // range mode 1: dropped after the span
inline constexpr int kBaroStatusDropped = 64;        // a sample was dropped from the output
inline constexpr int kBaroStatusPressureRange = 128; // the fixed pressure is outside 7.0 to 16.5 psi
inline constexpr int kBaroStatusStoreFailed = 256;   // a compensated value could not be stored

// Modes and range modes.
inline constexpr int kBaroModeOwnValue = 0;
inline constexpr int kBaroModeFixed = 1;
inline constexpr int kBaroModeFile = 2;
inline constexpr int kBaroRangeKeep = 0;
inline constexpr int kBaroRangeDrop = 1;

// The accepted fixed pressure, psi.
inline constexpr double kBaroMinPsi = 7.0;
inline constexpr double kBaroMaxPsi = 16.5;

// A value in the unit (category and unit id of the unit catalogue) as psi: category 6
// "Pressure" and 9 "Barometric Pressure" unit 0 (PSI) unchanged, category 6 unit 3 (kPa),
// category 9 units 1 to 5 (inHg, bar, mbar, cm of water, mmHg); 0 for any other pair.
double BaroValueToPsi(double value, int category, int unit);

class CBaroCompensator {
public:
    // Empty paths, fixed value 14.7 in category 6 unit 0, mode 0, range mode 0; then
    // ResetState. files reads and writes the test data files (it must outlive this).
    explicit CBaroCompensator(const CDeviceImageFiles& files);
    virtual ~CBaroCompensator();
    CBaroCompensator(const CBaroCompensator&) = delete;
    CBaroCompensator& operator=(const CBaroCompensator&) = delete;

    // Compensates the source file into the target file. The writer's result (true when the
    // target was written), or false when the run stopped early; the status word tells why
    // and what was changed.
    bool Run();
    void AddStatusFlags(int bits) { m_status |= bits; }
    // Empties the sample array, clears the fixed pressure in psi, the sample times, the
    // range, the values before and after the span and the status word.
    void ResetState();
    // In mode 2 with at least one sample: takes the earliest and latest sample times as the
    // span and the usable range and the fixed pressure as the value before and after it;
    // true. False otherwise.
    bool PrepareBaroRange();
    // The compensated value of a level sample at time t with value v into out; false when
    // the sample is to be dropped.
    bool GetBaroAt(double& out, double t, double v, const CDeviceImage& image);
    // Stores target in reading index of image as the raw count whose value comes nearest;
    // false when the reading cannot be taken or no count reaches target within one step.
    bool StoreCompensatedValue(double target, size_t index, CDeviceImage& image);

    // ---- Settings ----------------------------------------------------------------------
    void SetSourcePath(const std::string& path) { m_sourcePath = path; }
    void SetTargetPath(const std::string& path) { m_targetPath = path; }
    void SetBaroFilePath(const std::string& path) { m_baroPath = path; }
    const std::string& GetSourcePath() const { return m_sourcePath; }
    const std::string& GetTargetPath() const { return m_targetPath; }
    const std::string& GetBaroFilePath() const { return m_baroPath; }
    // The fixed barometric value and its unit (category and unit id of the unit catalogue).
    void SetFixedValue(double value, int category, int unit)
    {
        m_fixedValue = value;
        m_fixedCategory = category;
        m_fixedUnit = unit;
    }
    double GetFixedValue() const { return m_fixedValue; }
    int GetFixedCategory() const { return m_fixedCategory; }
    int GetFixedUnit() const { return m_fixedUnit; }
    void SetMode(int mode) { m_mode = mode; }
    int GetMode() const { return m_mode; }
    void SetRangeMode(int rangeMode) { m_rangeMode = rangeMode; }
    int GetRangeMode() const { return m_rangeMode; }

    // ---- State of the last run -----------------------------------------------------------
    int GetStatus() const { return m_status; }
    double GetFixedPsi() const { return m_fixedPsi; }
    // The barometric samples (time as a Julian day, value in psi), sorted by time.
    const std::vector<std::pair<double, double>>& GetSamples() const { return m_samples; }
    double GetFirstSampleTime() const { return m_firstTime; }
    double GetLastSampleTime() const { return m_lastTime; }
    double GetRangeStart() const { return m_rangeStart; }
    double GetRangeEnd() const { return m_rangeEnd; }
    double GetValueBefore() const { return m_valueBefore; }
    double GetValueAfter() const { return m_valueAfter; }
    CDeviceImage& LevelImage() { return m_levelImage; }
    CDeviceImage& BaroImage() { return m_baroImage; }

private:
    bool CollectBaroSamples();
    double InterpolateBaro(double t) const;

    const CDeviceImageFiles& m_files;
    std::string m_sourcePath;
    std::string m_targetPath;
    std::string m_baroPath;
    double m_fixedValue = 14.7;
    int m_fixedCategory = 6;
    int m_fixedUnit = 0;
    int m_mode = kBaroModeOwnValue;
    int m_rangeMode = kBaroRangeKeep;
    CDeviceImage m_levelImage;
    CDeviceImage m_baroImage;
    int m_status = 0;
    double m_fixedPsi = 0.0;
    std::vector<std::pair<double, double>> m_samples;
    double m_firstTime = 0.0;
    double m_lastTime = 0.0;
    double m_rangeStart = 0.0;
    double m_rangeEnd = 0.0;
    double m_valueBefore = 0.0;
    double m_valueAfter = 0.0;
};
