#pragma once

#include "app/tavlo_main_frame.h"

// The window the application creates: the main window as it is, the place for frame-level
// additions that do not belong to its layout.
class CTavloFrame : public CTavloMainFrame
{
    Q_OBJECT
public:
    using CTavloMainFrame::CTavloMainFrame;
};
