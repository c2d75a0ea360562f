#include "platform/OleDateTime.h"

#include <cmath>
#include <ctime>
#include <langinfo.h>
#include <vector>

namespace wv {

namespace {

// Days from 1970-01-01 to the base date 1899-12-30 of OleDateTime.
constexpr int64_t kOleBaseDays = -25569;
// The valid range of OleDateTime, in whole days from its base date.
constexpr int64_t kOleMinDay = -657434; // 0100-01-01
constexpr int64_t kOleMaxDay = 2958465; // 9999-12-31
constexpr int64_t kSecondsPerDay = 86400;

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

bool IsLeap(int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int MonthLength(int64_t year, int month)
{
    static const int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeap(year)) {
        return 29;
    }
    return kLengths[month - 1];
}

void FillCivil(const std::tm& tm, CivilTime& out)
{
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    out.millisecond = 0;
    out.dayOfWeek = tm.tm_wday;
}

} // namespace

int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    // Months outside 1-12 move whole years first.
    year += FloorDiv(month - 1, 12);
    month = month - 1 - 12 * FloorDiv(month - 1, 12) + 1;

    // Count from 0000-03-01 so that the leap day ends a year.
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = FloorDiv(y, 400);
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + (day - 1);
}

void CivilFromDays(int64_t days, int64_t& year, int& month, int& day)
{
    const int64_t z = days + 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

int WeekdayFromDays(int64_t days)
{
    // 1970-01-01 was a Thursday.
    const int64_t w = (days + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

CivilTime LocalTimeNow()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    CivilTime now;
    if (!LocalTimeFromPosix(static_cast<int64_t>(ts.tv_sec), now)) {
        return now;
    }
    now.millisecond = static_cast<int>(ts.tv_nsec / 1000000L);
    return now;
}

bool LocalTimeFromPosix(int64_t posixSeconds, CivilTime& local)
{
    const auto t = static_cast<time_t>(posixSeconds);
    if (static_cast<int64_t>(t) != posixSeconds) {
        return false;
    }
    // localtime_r need not look at TZ again; tzset makes a changed setting count.
    tzset();
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) {
        return false;
    }
    FillCivil(tm, local);
    return true;
}

bool PosixFromLocalTime(const CivilTime& local, int64_t& posixSeconds)
{
    if (local.year < -1000000 || local.year > 1000000) {
        return false;
    }
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    // mktime sets the weekday on success; -1 is also a valid time, so the
    // untouched weekday is what tells a failure.
    tm.tm_wday = -1;
    tzset();
    const time_t t = mktime(&tm);
    if (t == static_cast<time_t>(-1) && tm.tm_wday == -1) {
        return false;
    }
    posixSeconds = static_cast<int64_t>(t);
    return true;
}

OleDateTime::OleDateTime(double value) : value_(value)
{
    const bool inRange = std::isfinite(value) && value > static_cast<double>(kOleMinDay - 1) &&
                         value < static_cast<double>(kOleMaxDay + 1);
    status_ = inRange ? Status::Valid : Status::Invalid;
}

OleDateTime::OleDateTime(int year, int month, int day, int hour, int minute, int second)
{
    SetDateTime(year, month, day, hour, minute, second);
}

OleDateTime OleDateTime::GetCurrentTime()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromPosixTime(static_cast<int64_t>(ts.tv_sec));
}

OleDateTime OleDateTime::FromPosixTime(int64_t posixSeconds)
{
    OleDateTime result;
    CivilTime local;
    if (!LocalTimeFromPosix(posixSeconds, local)) {
        result.value_ = 0.0;
        result.status_ = Status::Invalid;
        return result;
    }
    // A leap second has no place in a day count: it shows as the second before.
    result.SetDateTime(local.year, local.month, local.day, local.hour, local.minute,
                       local.second > 59 ? 59 : local.second);
    return result;
}

bool OleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second)
{
    const bool valid = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                       day <= MonthLength(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
                       minute <= 59 && second >= 0 && second <= 59;
    if (!valid) {
        value_ = 0.0;
        status_ = Status::Invalid;
        return false;
    }
    const int64_t days = DaysFromCivil(year, month, day) - kOleBaseDays;
    const double time = static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
    // Before the base date the time of day still counts forward, so it moves
    // the (negative) value away from zero.
    value_ = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
    status_ = Status::Valid;
    return true;
}

bool OleDateTime::SetDate(int year, int month, int day)
{
    return SetDateTime(year, month, day, 0, 0, 0);
}

bool OleDateTime::SetTime(int hour, int minute, int second)
{
    return SetDateTime(1899, 12, 30, hour, minute, second);
}

double OleDateTime::PositionFromValue(double value)
{
    if (value >= 0.0) {
        return value;
    }
    const double whole = std::trunc(value);
    return whole + std::fabs(value - whole);
}

double OleDateTime::ValueFromPosition(double position)
{
    const double day = std::floor(position);
    if (day >= 0.0) {
        return position;
    }
    return day - (position - day);
}

bool OleDateTime::GetFields(CivilTime& fields) const
{
    if (!IsValid()) {
        return false;
    }
    const double seconds = Position() * kSecondsPerDay;
    // Round to the nearest second, but never past the last valid second.
    auto total = static_cast<int64_t>(std::floor(seconds + 0.5));
    if (FloorDiv(total, kSecondsPerDay) > kOleMaxDay) {
        total = static_cast<int64_t>(std::floor(seconds));
    }
    const int64_t dayIndex = FloorDiv(total, kSecondsPerDay);
    const int64_t secondOfDay = total - dayIndex * kSecondsPerDay;
    int64_t year = 0;
    CivilFromDays(dayIndex + kOleBaseDays, year, fields.month, fields.day);
    fields.year = static_cast<int>(year);
    fields.hour = static_cast<int>(secondOfDay / 3600);
    fields.minute = static_cast<int>(secondOfDay / 60 % 60);
    fields.second = static_cast<int>(secondOfDay % 60);
    fields.millisecond = 0;
    fields.dayOfWeek = WeekdayFromDays(dayIndex + kOleBaseDays);
    return true;
}

int OleDateTime::GetYear() const
{
    CivilTime f;
    return GetFields(f) ? f.year : -1;
}

int OleDateTime::GetMonth() const
{
    CivilTime f;
    return GetFields(f) ? f.month : -1;
}

int OleDateTime::GetDay() const
{
    CivilTime f;
    return GetFields(f) ? f.day : -1;
}

int OleDateTime::GetHour() const
{
    CivilTime f;
    return GetFields(f) ? f.hour : -1;
}

int OleDateTime::GetMinute() const
{
    CivilTime f;
    return GetFields(f) ? f.minute : -1;
}

int OleDateTime::GetSecond() const
{
    CivilTime f;
    return GetFields(f) ? f.second : -1;
}

int OleDateTime::GetDayOfWeek() const
{
    CivilTime f;
    return GetFields(f) ? f.dayOfWeek + 1 : -1;
}

int OleDateTime::GetDayOfYear() const
{
    CivilTime f;
    if (!GetFields(f)) {
        return -1;
    }
    return static_cast<int>(DaysFromCivil(f.year, f.month, f.day) - DaysFromCivil(f.year, 1, 1)) + 1;
}

bool OleDateTime::GetAsPosixTime(int64_t& posixSeconds) const
{
    CivilTime f;
    return GetFields(f) && PosixFromLocalTime(f, posixSeconds);
}

std::string OleDateTime::Format(const std::string& format) const
{
    if (status_ == Status::Null) {
        return {};
    }
    CivilTime f;
    if (!GetFields(f)) {
        return "Invalid DateTime";
    }
    if (format.empty()) {
        return {};
    }
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_wday = f.dayOfWeek;
    tm.tm_yday = GetDayOfYear() - 1;
    tm.tm_isdst = -1;
    // strftime gives 0 both for a buffer too small and for an empty result, so
    // the buffer grows up to a bound and an empty text is returned beyond it.
    for (size_t size = 64; size <= 65536; size *= 4) {
        std::vector<char> buffer(size);
        const size_t n = std::strftime(buffer.data(), buffer.size(), format.c_str(), &tm);
        if (n > 0) {
            return std::string(buffer.data(), n);
        }
    }
    return {};
}

bool OleDateTime::ParseFormatted(std::string_view text, const std::string& format)
{
    value_ = 0.0;
    status_ = Status::Invalid;
    const std::string copy(text); // strptime needs a terminated text
    if (copy.find('\0') != std::string::npos || format.empty()) {
        return false;
    }
    std::tm tm{};
    tm.tm_year = 1899 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 30;
    const char* end = strptime(copy.c_str(), format.c_str(), &tm);
    if (end == nullptr) {
        return false;
    }
    for (; *end != '\0'; ++end) {
        if (*end != ' ' && *end != '\t') {
            return false;
        }
    }
    return SetDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string LocaleDateFormat()
{
    const char* format = nl_langinfo(D_FMT);
    std::string in = format && *format ? format : "%m/%d/%y";
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 1 < in.size()) {
            const char code = in[++i];
            if (code == 'y') {
                out += "%Y";
            } else if (code == 'D') {
                out += "%m/%d/%Y";
            } else {
                out.push_back('%');
                out.push_back(code);
            }
        } else {
            out.push_back(in[i]);
        }
    }
    return out;
}

std::string LocaleTimeFormat()
{
    const char* format = nl_langinfo(T_FMT);
    return format && *format ? format : "%H:%M:%S";
}

} // namespace wv
