// SYSTEMTIME and the conversions between it and OLE date numbers (days since
// 30 December 1899, time of day as the fraction).
#pragma once

#include "xrdb8/types.h"

namespace xr {

// Rounds to the nearest second; wMilliseconds is always 0. False when the date
// lies outside 1 Jan 100 .. 31 Dec 9999.
bool VariantTimeToSystemTime(double date, SYSTEMTIME* st);
// Milliseconds and day of week are ignored; a day beyond the month's length
// rolls forward, day 0 rolls back; years 0..99 count as 1900..1999 (below 30:
// 2000..2029). False for a month outside 1..12 or a result out of range.
bool SystemTimeToVariantTime(const SYSTEMTIME& st, double* date);

}  // namespace xr
