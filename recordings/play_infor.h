#pragma once

#include <cstdint>
#include <string>

// Category numbers as the list, the buttons and the catalog use them.
enum : int32_t
{
    LIST_NONE = -1,
    LIST_RECORD = 0,
    LIST_EVENT = 1,
    LIST_MANUAL = 2,
    LIST_MOTION = 3,
};
constexpr int32_t kListTypeCount = 4;

// The process-wide playback record. Window thread only.
struct PLAY_INFOR
{
    std::string strRootPath;           // card root ending with '/', empty when no card is chosen
    int32_t bMapAllowed = 1;           // 1 when the web map may be used
    int32_t nSpeed = 100;              // playback rate in percent
    int32_t nVolume = 100;             // 0..100; the viewer's own output volume starts full
    int32_t nPlayListType = LIST_NONE; // category of the clip playing or last started
    int32_t nListType = LIST_NONE;     // category shown in the recording list
    std::string strPlayFile;           // path of the clip started last
};

extern PLAY_INFOR g_PlayInfor;
