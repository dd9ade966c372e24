#include "recordings/play_infor.h"

PLAY_INFOR g_PlayInfor;
