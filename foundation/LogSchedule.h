#pragma once
// The logarithmic sampling schedule of the instruments.
//
// A logarithmic test samples fast at first and ever more slowly, up to the
// maximum interval the test defines, then evenly at that interval. The
// instruments follow a fixed table of intervals; these functions reproduce it
// to give each sample of a logarithmic test its elapsed time since the start,
// and to find where the schedule reaches a given interval.
//
// Schedule index k counts the intervals: interval k lies before sample k + 1.
// Indexes 0 to 20 are 0.30 s each, 21 to 218 come from the interval table
// (growing by about 10^(1/40) per step up to exactly 8 hours), and indexes
// above 218 repeat the last entry.
//
// Elapsed times are accumulated in an all-zero DeviceTime (month 0, so the
// days just count up in the day byte) with AddDuration and
// AddDurationTimesShort; like every DeviceTime, such an accumulator holds at
// most 255 days.

#include "foundation/DeviceTime.h"

#include <cstdint>

// First and last index of the interval tables.
inline constexpr int kLogFirstTableIndex = 21;
inline constexpr int kLogLastTableIndex = 218;
// Entries of each interval table (indexes 21 to 218).
inline constexpr int kLogTableEntries = kLogLastTableIndex - kLogFirstTableIndex + 1;
// Entries of the cumulative table (samples 1 to 218).
inline constexpr int kLogCumulativeEntries = 218;
// Samples of a logarithmic schedule that come at the start interval: samples
// 1 to 21, 20 intervals.
inline constexpr uint32_t kLogStartSamples = 21;

// The interval of index k, taken modulo 256 (the instruments keep the index in
// a byte). Days are always 0.
Duration LogInterval(int k);
// The same from the second interval table (each entry the first table's entry
// plus a few hundredths).
Duration LogInterval2(int k);

// The elapsed time of sample n (1 to 218) of the plain schedule: the sum of
// LogInterval(k) for k from 1 to n - 1. Sample 1 is at 0, sample 218 at
// 5 days 20:13:48.48. n outside 1 to 218 gives a zero duration.
Duration LogCumulative(int n);

// The first index from 21 to 218 whose interval is not shorter than d; 218
// when none is. A duration of 0, or any duration up to the first entry
// (0.35 s), gives 21.
uint8_t LogScheduleIndex(const Duration& d);

// The start interval s of a logarithmic test (a count of 1/2000 seconds) as a
// duration: h = s div 20 hundredths, split into minutes, seconds and
// hundredths. Minutes above 59 carry into hours and hours above 23 into days,
// so an interval of more than 255 minutes keeps its length.
Duration LogStartInterval(uint32_t s);

// The sample at which a schedule that starts at interval s reaches its maximum
// interval: LogScheduleIndex(maximum) - LogScheduleIndex(start) + 21. A
// maximum below the start interval gives 21 (the schedule goes straight from
// the start samples to the maximum interval), never a wrapped byte.
uint8_t LogScheduleEndSample(const Duration& maximum, uint32_t s);

// The elapsed time of sample n (from 1) of the plain schedule with the given
// maximum interval: with b = LogScheduleIndex(maximum), the cumulative entry n
// when n < b, else the cumulative entry b plus (n - b) times the maximum.
// Sample 0 is taken as sample 1 (elapsed 0).
DeviceTime LogSampleElapsed(uint32_t n, const Duration& maximum);

// The elapsed time of sample n (from 1) of a schedule that starts at interval
// s (1/2000 s units) and grows to the maximum interval, written into
// accumulator (which is cleared first) and returned:
//   sample 1: 0; samples up to 21: (n - 1) times the start interval p;
//   later samples: 20 times p, then LogInterval2(e + i) for i from 0 to
//   min(n, f) - 22 (e = LogScheduleIndex(p), f = LogScheduleEndSample), then
//   (n - f) times the maximum when n > f.
// Sample 0 is taken as sample 1.
DeviceTime& LogSampleTime(uint32_t n, const Duration& maximum, DeviceTime& accumulator, uint32_t s);
