// Platform rules that are the same on every system.
#include "platform/Platform.h"

namespace addoscope::platform {

namespace {

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t unixDays = era * 146097 + static_cast<int64_t>(doe) - 719468;
    return unixDays + 25569;
}

} // namespace

double LocalDateTime(int64_t year, unsigned month, unsigned day, double secondsOfDay)
{
    const int64_t days = DaysFromCivil(year, month, day);
    // Days before 1899-12-30 are negative with a positive time of day:
    // -1.25 is 1899-12-29 06:00.
    if (days < 0)
        return static_cast<double>(days) - secondsOfDay / 86400.0;
    return static_cast<double>(days) + secondsOfDay / 86400.0;
}

bool WindowsVersionKeepsCase(uint32_t major, uint32_t build)
{
    return major > 10 || (major == 10 && build >= 17134);
}

} // namespace addoscope::platform
