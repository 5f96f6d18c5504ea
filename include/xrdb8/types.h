#pragma once

#include <cstdint>

#ifndef XRDB8_HAVE_SYSTEMTIME
#define XRDB8_HAVE_SYSTEMTIME
// The calendar time of the terminal programs' record structures.
#pragma pack(push, 1)
struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;  // 0 = Sunday
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};
#pragma pack(pop)
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes");
#endif
