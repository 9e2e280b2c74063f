#include "window_placement.h"

#include <QEvent>
#include <QMargins>
#include <QWidget>
#include <QWindow>

#include "dialog_rules/dialog_rules.h"

namespace chronvane {
namespace {

// The frame the window system reports for widget's window; none before it is framed.
QMargins reportedFrame(const QWidget& widget) {
    const QWindow* handle = widget.windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

// While a window is being framed or unframed the window system can report
// nonsense (a negative margin the size of the window); that is no frame.
bool isFrame(const QMargins& margins) {
    return !margins.isNull() && margins.left() >= 0 && margins.top() >= 0 && margins.right() >= 0 &&
           margins.bottom() >= 0;
}

void place(QWidget& window, QSize size, QMargins frame, const QRect& over, const QRect& workArea) {
    const QPoint frameTopLeft = centredPosition(size.grownBy(frame), over, workArea);
    // A client rectangle means the same before and after the window is created;
    // move() would mean the frame before and the client after, depending on timing.
    window.setGeometry(QRect(frameTopLeft + QPoint(frame.left(), frame.top()), window.size()));
}

// Waits for the window's real frame and places the window again if it differs from
// the one it was placed with; then it has done its work and goes.
class FramePlacement final : public QObject {
  public:
    FramePlacement(QWidget& window, QSize size, QMargins frame, const QRect& over,
                   const QRect& workArea)
        : QObject(&window),
          m_window(window),
          m_size(size),
          m_frame(frame),
          m_over(over),
          m_workArea(workArea) {
        window.installEventFilter(this);
        // Placed from its own showEvent (a message box, once its text has sized
        // it), the window has had its Show: the frame's expose is watched from here.
        if (QWindow* handle = window.windowHandle(); handle != nullptr && window.isVisible()) {
            handle->installEventFilter(this);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        QWindow* handle = m_window.windowHandle();
        if (watched == &m_window && type == QEvent::Show && handle != nullptr) {
            // The frame comes with the first expose, which only the window sees; the
            // widget is not told when the frame appears around it in place.
            handle->installEventFilter(this);
        }
        const bool framed = (watched == &m_window && type == QEvent::Move) ||
                            (watched == handle && type == QEvent::Expose);
        if (framed && handle != nullptr && handle->isExposed() && isFrame(handle->frameMargins())) {
            m_window.removeEventFilter(this);
            handle->removeEventFilter(this);
            if (handle->frameMargins() != m_frame) {
                place(m_window, m_size, handle->frameMargins(), m_over, m_workArea);
            }
            deleteLater();
        }
        return false;
    }

  private:
    QWidget& m_window;
    QSize m_size;
    QMargins m_frame;
    QRect m_over;
    QRect m_workArea;
};

}  // namespace

QPoint centredPosition(QSize size, const QRect& over, const QRect& workArea) {
    // By start and length: QRect::right() is the last pixel inside, where the
    // Win32 rectangle's right edge is one past it.
    return {dialog::centredStart({over.left(), over.width()}, size.width(),
                                 {workArea.left(), workArea.width()}),
            dialog::centredStart({over.top(), over.height()}, size.height(),
                                 {workArea.top(), workArea.height()})};
}

void centreWindow(QWidget& window, const QRect& over, const QRect& workArea, const QWidget* like) {
    QMargins frame = reportedFrame(window);
    if (frame.isNull() && like != nullptr) {
        frame = reportedFrame(*like);
    }
    place(window, window.size(), frame, over, workArea);
    new FramePlacement(window, window.size(), frame, over, workArea);
}

}  // namespace chronvane
