#include "window_placement.h"

#include <algorithm>

namespace chronvane {

QPoint centredPosition(QSize size, const QRect& over, const QRect& workArea) {
    // QRect::right() is the last pixel inside; the classic rectangle's right edge is
    // one past it.
    int left = (over.left() + over.left() + over.width()) / 2 - size.width() / 2;
    int top = (over.top() + over.top() + over.height()) / 2 - size.height() / 2;
    left = std::min(left, workArea.left() + workArea.width() - size.width());
    top = std::min(top, workArea.top() + workArea.height() - size.height());
    left = std::max(left, workArea.left());
    top = std::max(top, workArea.top());
    return {left, top};
}

}  // namespace chronvane
