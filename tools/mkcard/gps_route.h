#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The demo card's GPS track: a drive round a loop of city streets with speed that rises, falls
// and stops at lights, written as the recorder writes it, one RMC sentence a second with a
// leading 'G'.

struct RouteFix
{
    double dLatitude = 0;  // decimal degrees, north positive
    double dLongitude = 0; // decimal degrees, east positive
    double dSpeedKmh = 0;
    double dCourse = 0; // degrees from north, 0..360
    bool bValid = true; // false where the receiver has no fix (a tunnel)
};

// The fix a given number of seconds after the drive started. Pure.
RouteFix FixAtDriveSecond(uint32_t second);

// A fix of a parked vehicle: same place every second, speed 0.
RouteFix ParkedFix();

// "G$GPRMC,hhmmss.sss,A,ddmm.mmmm,N,dddmm.mmmm,E,knots,course,ddmmyy,,,A*cs" for a fix at
// a UTC time; a fix without position gives status V and empty position fields.
std::string RmcSentence(const RouteFix &fix, time_t utc);
