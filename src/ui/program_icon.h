#pragma once

#include <QIcon>

#include "clock/clock_state.h"

namespace chronvane {

// The program icon (a clock face under a weather vane) at every size it is drawn
// in, from the resources linked into this library. Needs a QGuiApplication. The
// first call loads it; an icon whose images are missing comes back null.
const QIcon& programIcon();

// The program icon with a lamp for the clock's state, like a time source's lock
// lamp: green synchronised, amber not synchronised, grey unknown.
const QIcon& clockStateIcon(ClockState::Sync sync);

}  // namespace chronvane
