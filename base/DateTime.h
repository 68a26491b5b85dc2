#pragma once

namespace addoscope::base {

// Days since 1899-12-30, the time of day as the fraction, in local time.
using TDateTime = double;

// Days from 1899-12-30 to 1970-01-01.
constexpr double UnixEpochDays = 25569.0;

} // namespace addoscope::base
