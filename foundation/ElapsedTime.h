#pragma once
// The time of one sample of a test: its elapsed time since the test start in a
// unit the user chose, and its date and time of day.
//
// CElapsedTime counts hundredths of a second in 64 bits; CSampleTime is a date
// and time held as a Julian day number and a time of day, to which elapsed times
// are added; FillSampleTime computes both for one sample from the test's
// definition, and ElapsedToUnits expresses a Duration in a unit. The readers of
// test data files use them to label every sample.

#include "foundation/DeviceTime.h"

#include <cstdint>

// Units of an elapsed value; any other value means minutes.
inline constexpr uint8_t kElapsedUnitSeconds = 0;
inline constexpr uint8_t kElapsedUnitMinutes = 1;
inline constexpr uint8_t kElapsedUnitHours = 2;
inline constexpr uint8_t kElapsedUnitDays = 3;
inline constexpr uint8_t kElapsedUnitHundredths = 4;

// Test types of a sample-time request (the schedule types of a test).
inline constexpr uint8_t kSampleTestLinear = 1;
inline constexpr uint8_t kSampleTestLogarithmic = 2;
inline constexpr uint8_t kSampleTestEvent = 3;
inline constexpr uint8_t kSampleTestLinearAverage = 4;

// Hundredths of a second in a day, an hour, a minute and a second.
inline constexpr uint64_t kHundredthsPerDay = 8640000;
inline constexpr uint64_t kHundredthsPerHour = 360000;
inline constexpr uint64_t kHundredthsPerMinute = 6000;
inline constexpr uint64_t kHundredthsPerSecond = 100;

// What a test data file reader knows of one sample, and (the last two fields)
// what FillSampleTime gives back.
struct SampleTimeRequest {
    uint32_t sampleNumber = 0; // from 1; 0 is taken as 1
    uint8_t unit = kElapsedUnitSeconds; // unit of elapsedValue
    uint8_t testType = 0;      // kSampleTest...
    DeviceTime testStart;      // month 100: the start is not set
    Duration interval;         // sampling interval; the maximum interval of a logarithmic test
    uint32_t startInterval = 0; // logarithmic tests: 1/2000 s, 0 for the plain schedule
    uint32_t eventSeconds = 0;  // event tests: the sample's time after the start
    double elapsedValue = 0.0;  // out: the elapsed time in unit
    DeviceTime sampleTime;      // out: the sample's date and time
};

// A count of hundredths of a second, unsigned 64-bit.
class CElapsedTime {
public:
    CElapsedTime() = default;
    virtual ~CElapsedTime() = default;

    // day x 8640000 + hour x 360000 + minute x 6000 + second x 100 + hundredths;
    // year and month are ignored, so an elapsed-time accumulator (all zero but
    // for its day count and time of day) converts whole.
    void SetFromTimeRecord(const DeviceTime& time);
    // days x 8640000 + hours x 360000 + minutes x 6000 + seconds x 100 + hundredths.
    void SetFromDuration(const Duration& duration);
    // seconds x 100.
    void SetSeconds(uint32_t seconds);
    // The count times n, 0 when either is 0. A product past 64 bits stays at the
    // largest count (about 58 million years) instead of wrapping to a short time.
    void MultiplyBy(uint32_t n);
    // The count in unit: seconds, minutes, hours, days, or the count itself for
    // hundredths; any other unit means minutes.
    double ToUnits(uint8_t unit) const;

    uint64_t GetHundredths() const { return count_; }
    void SetHundredths(uint64_t count) { count_ = count; }

private:
    friend class CSampleTime;

    uint64_t count_ = 0;
};

// A date and time as a Julian day number and a time of day, and the elapsed time
// of one sample. The elapsed count of the CElapsedTime it derives from is not
// used and stays 0.
class CSampleTime : public CElapsedTime {
public:
    // From a test start. A start that is not set (month 100), or one that is no
    // valid date and time of day, sets the not-set flag and leaves the day number
    // and the time of day 0.
    explicit CSampleTime(const DeviceTime& start);
    ~CSampleTime() override = default;

    // Adds elapsed to the date and time, carrying the time of day into the day
    // number. The day number stops at the largest 32-bit number, a day that has
    // no date.
    void Add(const CElapsedTime& elapsed);
    // Sets the sample's elapsed time from the request (sample 0 is taken as
    // sample 1):
    //   linear and linear average: interval x (n - 1);
    //   logarithmic: the logarithmic schedule's elapsed time of sample n, from the
    //     start interval when it is not 0, with the maximum interval;
    //   event: the event seconds;
    //   any other test type: 0.
    void SetSampleElapsed(const SampleTimeRequest& request);
    // SetSampleElapsed, then Add of that elapsed time.
    void ComputeSample(const SampleTimeRequest& request);

    int32_t GetJulianDay() const { return julianDay_; }
    uint32_t GetHour() const { return hour_; }
    uint32_t GetMinute() const { return minute_; }
    uint32_t GetSecond() const { return second_; }
    uint32_t GetHundredthOfSecond() const { return hundredths_; }
    bool IsNotSet() const { return notSet_; }
    const CElapsedTime& GetSampleElapsed() const { return elapsed_; }

private:
    void AddDays(uint64_t days);

    int32_t julianDay_ = 0;
    uint32_t hour_ = 0;
    uint32_t minute_ = 0;
    uint32_t second_ = 0;
    uint32_t hundredths_ = 0;
    bool notSet_ = false;
    CElapsedTime elapsed_;
};

// Completes request: its elapsed value in its unit, and its date and time. With
// a start that is not set (or not valid) the date and time are the start
// record unchanged; a sample whose date lies past the year 65535 gets the
// not-set device time (1999 and nines). Returns 0.
int FillSampleTime(SampleTimeRequest& request);

// The elapsed value FillSampleTime gives, without the date and time: for a
// series, which needs no calendar.
double SampleElapsedValue(const SampleTimeRequest& request);

// duration in unit (CElapsedTime::SetFromDuration, then ToUnits).
double ElapsedToUnits(const Duration& duration, uint8_t unit);
