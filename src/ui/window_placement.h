#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace chronvane {

// Top-left corner for a window of size centred over the rectangle over, then pushed
// back inside workArea where it would stick out (left and top edges win when the
// window is larger than the area). Halvings truncate, as the classic dialog code
// did, so results are pixel-for-pixel predictable. Never fails.
QPoint centredPosition(QSize size, const QRect& over, const QRect& workArea);

}  // namespace chronvane
