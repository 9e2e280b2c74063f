#pragma once

#include <QIcon>

namespace chronvane {

// The program icon (a clock face under a weather vane) at every size it is drawn
// in, from the resources linked into this library. Needs a QGuiApplication. The
// first call loads it; an icon whose images are missing comes back null.
const QIcon& programIcon();

}  // namespace chronvane
