#pragma once

#include "platform/RectD.h"
#include "platform/ScreenProvider.h"

#include <QList>

// Keeps a window frame on screen: on the first screen whose visible frame holds the frame's
// centre, else the first it overlaps, else the first screen; the size is limited to that visible
// frame, then the origin moved just far enough inside. No screens: the frame unchanged.
RectD frameClampedToScreens(const QList<ScreenInfo>& screens, const RectD& frame);
