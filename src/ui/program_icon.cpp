#include "program_icon.h"

// Resources in a static library are only linked in when something asks for them.
static void initIconResources() {
    Q_INIT_RESOURCE(chronvane_ui);
}

namespace chronvane {

const QIcon& programIcon() {
    static const QIcon icon = [] {
        initIconResources();
        QIcon loaded;
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            loaded.addFile(QStringLiteral(":/icons/chronvane32-%1.png").arg(size),
                           QSize(size, size));
        }
        return loaded;
    }();
    return icon;
}

namespace {

QIcon loadLamp(const char* colour) {
    initIconResources();
    QIcon loaded;
    for (const int size : {16, 32, 48, 64, 256}) {
        loaded.addFile(QStringLiteral(":/icons/lamp-%1-%2.png").arg(QLatin1String(colour)).arg(size),
                       QSize(size, size));
    }
    return loaded;
}

}  // namespace

const QIcon& clockStateIcon(ClockState::Sync sync) {
    static const QIcon green = loadLamp("green");
    static const QIcon amber = loadLamp("amber");
    static const QIcon grey = loadLamp("grey");
    switch (sync) {
        case ClockState::Sync::Synchronised:
            return green;
        case ClockState::Sync::NotSynchronised:
            return amber;
        case ClockState::Sync::Unknown:
            break;
    }
    return grey;
}

}  // namespace chronvane
