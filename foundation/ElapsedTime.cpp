#include "foundation/ElapsedTime.h"

#include "foundation/LogSchedule.h"

#include <limits>

namespace {

constexpr uint64_t kMaxCount = std::numeric_limits<uint64_t>::max();
constexpr int64_t kMaxJulianDay = std::numeric_limits<int32_t>::max();

uint64_t SaturatingAdd(uint64_t a, uint64_t b)
{
    return a > kMaxCount - b ? kMaxCount : a + b;
}

// A test start the sample times can count from: a valid calendar date with a
// time of day in range, not marked as not set.
bool IsUsableStart(const DeviceTime& start)
{
    if (start.month == kTestStartNotSetMonth) {
        return false;
    }
    if (start.hour > 23 || start.minute > 59 || start.second > 59 || start.hundredths > 99) {
        return false;
    }
    return JulianDay(start.month, start.day, start.year) != 0;
}

// The elapsed time of sample n (from 1) of a logarithmic test, in hundredths.
// The schedule part, up to the sample at which the maximum interval is
// reached, comes from the log schedule (a few days at most); every later
// sample adds the maximum interval, counted here in 64 bits so that a long test
// does not outgrow the schedule accumulator's day byte.
uint64_t LogarithmicElapsed(uint32_t n, const Duration& maximum, uint32_t startInterval)
{
    CElapsedTime head;
    uint32_t scheduleEnd = 0;
    if (startInterval == 0) {
        scheduleEnd = LogScheduleIndex(maximum);
        const uint32_t m = n < scheduleEnd ? n : scheduleEnd;
        head.SetFromTimeRecord(LogSampleElapsed(m, maximum));
    } else {
        scheduleEnd = LogScheduleEndSample(maximum, startInterval);
        const uint32_t m = n < scheduleEnd ? n : scheduleEnd;
        if (m <= kLogStartSamples) {
            // The start samples: (m - 1) start intervals, also when twenty
            // start intervals of several days each would not fit the
            // accumulator.
            head.SetFromDuration(LogStartInterval(startInterval));
            head.MultiplyBy(m - 1);
        } else {
            // The schedule grows past the start samples only when the start
            // interval is shorter than the longest table entry (8 hours):
            // twenty of them and the table's intervals fit the accumulator.
            DeviceTime accumulator{};
            head.SetFromTimeRecord(LogSampleTime(m, maximum, accumulator, startInterval));
        }
    }
    CElapsedTime tail;
    if (n > scheduleEnd) {
        tail.SetFromDuration(maximum);
        tail.MultiplyBy(n - scheduleEnd);
    }
    return SaturatingAdd(head.GetHundredths(), tail.GetHundredths());
}

// The elapsed time of the request's sample in hundredths (CSampleTime::SetSampleElapsed).
uint64_t SampleElapsedHundredths(const SampleTimeRequest& request)
{
    // Samples count from 1; a sample 0 is the first sample, not 2^32 - 1
    // intervals after it.
    const uint32_t n = request.sampleNumber == 0 ? 1 : request.sampleNumber;
    CElapsedTime elapsed;
    switch (request.testType) {
    case kSampleTestLinear:
    case kSampleTestLinearAverage:
        elapsed.SetFromDuration(request.interval);
        elapsed.MultiplyBy(n - 1);
        return elapsed.GetHundredths();
    case kSampleTestLogarithmic:
        return LogarithmicElapsed(n, request.interval, request.startInterval);
    case kSampleTestEvent:
        elapsed.SetSeconds(request.eventSeconds);
        return elapsed.GetHundredths();
    default:
        return 0;
    }
}

} // namespace

// ---- CElapsedTime -----------------------------------------------------------

void CElapsedTime::SetFromTimeRecord(const DeviceTime& time)
{
    count_ = time.day * kHundredthsPerDay + time.hour * kHundredthsPerHour + time.minute * kHundredthsPerMinute +
             time.second * kHundredthsPerSecond + time.hundredths;
}

void CElapsedTime::SetFromDuration(const Duration& duration)
{
    count_ = duration.days * kHundredthsPerDay + duration.hours * kHundredthsPerHour +
             duration.minutes * kHundredthsPerMinute + duration.seconds * kHundredthsPerSecond +
             duration.hundredths;
}

void CElapsedTime::SetSeconds(uint32_t seconds) { count_ = seconds * kHundredthsPerSecond; }

void CElapsedTime::MultiplyBy(uint32_t n)
{
    if (count_ == 0 || n == 0) {
        count_ = 0;
        return;
    }
    count_ = count_ > kMaxCount / n ? kMaxCount : count_ * n;
}

double CElapsedTime::ToUnits(uint8_t unit) const
{
    const double count = static_cast<double>(count_);
    switch (unit) {
    case kElapsedUnitSeconds:
        return count / static_cast<double>(kHundredthsPerSecond);
    case kElapsedUnitHours:
        return count / static_cast<double>(kHundredthsPerHour);
    case kElapsedUnitDays:
        return count / static_cast<double>(kHundredthsPerDay);
    case kElapsedUnitHundredths:
        return count;
    default:
        return count / static_cast<double>(kHundredthsPerMinute);
    }
}

// ---- CSampleTime ------------------------------------------------------------

CSampleTime::CSampleTime(const DeviceTime& start)
{
    if (!IsUsableStart(start)) {
        notSet_ = true;
        return;
    }
    julianDay_ = JulianDay(start.month, start.day, start.year);
    hour_ = start.hour;
    minute_ = start.minute;
    second_ = start.second;
    hundredths_ = start.hundredths;
}

void CSampleTime::AddDays(uint64_t days)
{
    // Past the largest day number there is no date; stop there rather than wrap.
    const int64_t room = kMaxJulianDay - julianDay_;
    julianDay_ = days >= static_cast<uint64_t>(room) ? static_cast<int32_t>(kMaxJulianDay)
                                                     : static_cast<int32_t>(julianDay_ + static_cast<int64_t>(days));
}

void CSampleTime::Add(const CElapsedTime& elapsed)
{
    uint64_t x = elapsed.GetHundredths();
    AddDays(x / kHundredthsPerDay);
    x %= kHundredthsPerDay;
    hour_ += static_cast<uint32_t>(x / kHundredthsPerHour);
    x %= kHundredthsPerHour;
    minute_ += static_cast<uint32_t>(x / kHundredthsPerMinute);
    x %= kHundredthsPerMinute;
    second_ += static_cast<uint32_t>(x / kHundredthsPerSecond);
    hundredths_ += static_cast<uint32_t>(x % kHundredthsPerSecond);

    // The fields were in range and each addend is below its field's limit, so
    // one carry per field brings them back into range.
    if (hundredths_ > 99) {
        second_ += hundredths_ / 100;
        hundredths_ %= 100;
    }
    if (second_ > 59) {
        minute_ += second_ / 60;
        second_ %= 60;
    }
    if (minute_ > 59) {
        hour_ += minute_ / 60;
        minute_ %= 60;
    }
    if (hour_ > 23) {
        AddDays(hour_ / 24);
        hour_ %= 24;
    }
}

void CSampleTime::SetSampleElapsed(const SampleTimeRequest& request)
{
    elapsed_ = CElapsedTime();
    elapsed_.SetHundredths(SampleElapsedHundredths(request));
}

void CSampleTime::ComputeSample(const SampleTimeRequest& request)
{
    SetSampleElapsed(request);
    Add(elapsed_);
}

// ---- Free functions ---------------------------------------------------------

int FillSampleTime(SampleTimeRequest& request)
{
    CSampleTime sample(request.testStart);
    sample.ComputeSample(request);
    request.elapsedValue = sample.GetSampleElapsed().ToUnits(request.unit);

    if (sample.IsNotSet()) {
        // Without a start there is no date to count from: the record stays as
        // the file has it.
        request.sampleTime = request.testStart;
        return 0;
    }
    uint16_t month = 0;
    uint16_t day = 0;
    uint16_t year = 0;
    if (!JulianDayToDate(sample.GetJulianDay(), month, day, year)) {
        request.sampleTime = kDeviceTimeNotSet;
        return 0;
    }
    request.sampleTime.year = year;
    request.sampleTime.month = static_cast<uint8_t>(month);
    request.sampleTime.day = static_cast<uint8_t>(day);
    request.sampleTime.hour = static_cast<uint8_t>(sample.GetHour());
    request.sampleTime.minute = static_cast<uint8_t>(sample.GetMinute());
    request.sampleTime.second = static_cast<uint8_t>(sample.GetSecond());
    request.sampleTime.hundredths = static_cast<uint8_t>(sample.GetHundredthOfSecond());
    return 0;
}

double SampleElapsedValue(const SampleTimeRequest& request)
{
    CElapsedTime elapsed;
    elapsed.SetHundredths(SampleElapsedHundredths(request));
    return elapsed.ToUnits(request.unit);
}

double ElapsedToUnits(const Duration& duration, uint8_t unit)
{
    CElapsedTime elapsed;
    elapsed.SetFromDuration(duration);
    return elapsed.ToUnits(unit);
}
