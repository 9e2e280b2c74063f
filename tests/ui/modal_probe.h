#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>

namespace chronvane::test {

// Runs inspect on the modal window that the next call opens (an About box, a message
// box), once that window's own loop runs, then closes it. Use right before the call
// that blocks in exec(). inspect gets nullptr when no modal window came up in time;
// a test that expects one fails on that.
template <typename Modal>
void whenModalOpens(std::function<void(Modal*)> inspect, bool close = true) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, inspect, close] {
        auto* modal = qobject_cast<Modal*>(QApplication::activeModalWidget());
        if (modal == nullptr && ++*tries < 200) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        inspect(modal);
        if (modal != nullptr && close) {
            modal->close();
        }
    });
    poll->start(10);
}

}  // namespace chronvane::test
