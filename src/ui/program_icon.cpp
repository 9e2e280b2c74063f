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

}  // namespace chronvane
