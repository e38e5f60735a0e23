// Dates as a conversion carries them: seconds since 1970 UTC, and the
// epochs of the Macintosh files they come from.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace verbatra {

inline constexpr std::int64_t kNoDate = INT64_MIN;
// The Macintosh counted from 1904, AppleSingle from 2000.
inline constexpr std::int64_t kMacEpoch = -2082844800;
inline constexpr std::int64_t kAppleSingleEpoch = 946684800;

struct CivilTime {
    long long year;
    unsigned month, day, hour, minute, second;
    unsigned weekday;  // 0 Sunday to 6 Saturday
};

// The calendar date and time of `seconds` since 1970 (days to civil date
// as Howard Hinnant gives it).
inline CivilTime civil_of(std::int64_t seconds) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    CivilTime t{};
    t.weekday = static_cast<unsigned>((days % 7 + 11) % 7);  // 1970-01-01 was a Thursday
    t.day = doy - (153 * mp + 2) / 5 + 1;
    t.month = mp < 10 ? mp + 3 : mp - 9;
    t.year = static_cast<long long>(yoe) + era * 400 + (t.month <= 2 ? 1 : 0);
    t.hour = static_cast<unsigned>(rest / 3600);
    t.minute = static_cast<unsigned>(rest / 60 % 60);
    t.second = static_cast<unsigned>(rest % 60);
    return t;
}

// ISO 8601 to the second, "Z" ending it when `utc`; empty for kNoDate.
inline std::string iso8601(std::int64_t seconds, bool utc = true) {
    if (seconds == kNoDate) return {};
    const CivilTime t = civil_of(seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02u%s", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, utc ? "Z" : "");
    return text;
}

// The time now, UTC, ISO 8601 to the second: "2026-12-10T12:00:00Z".
inline std::string utc_now() { return iso8601(static_cast<std::int64_t>(std::time(nullptr))); }

}  // namespace verbatra
