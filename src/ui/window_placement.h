#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace chronvane {

// Top-left corner for a window of size centred over the rectangle over, then pushed
// back inside workArea where it would stick out (left and top edges win when the
// window is larger than the area). Halvings truncate, as the classic dialog code
// did, so results are pixel-for-pixel predictable. Never fails.
QPoint centredPosition(QSize size, const QRect& over, const QRect& workArea);

// Places the top-level window so that its whole window (frame and caption included)
// is centred over over and kept inside workArea, at its present size. A window's
// frame is known only once the window manager has framed it: until then the frame
// of like (a window already on screen with the same decoration) stands in, or none.
// When the real frame turns out different, the window is placed once more, with the
// same over, work area and size, as soon as the frame is reported. Never fails.
void centreWindow(QWidget& window, const QRect& over, const QRect& workArea,
                  const QWidget* like = nullptr);

}  // namespace chronvane
