// The resource script is the one place the windows' texts are written. Each control
// it lays out must show that text in the window the operator sees, not merely in
// the parsed layout; and the text must be in the script as written, so a reading of
// it that drops a doubled quote or a continued line is caught too.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <algorithm>
#include <optional>

#include "dialog_rules/dialog_rules.h"
#include "chronvane32_version.h"
#include "fake_clock.h"
#include "ui/about_dialog.h"
#include "ui/clock_dialog.h"
#include "ui/program_dialogs.h"

namespace chronvane {
namespace {

QString shownText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title();
    }
    return {};
}

// The script's source with the version macro put in, as the resource compiler sees it.
QString scriptSource() {
    QFile file(QStringLiteral(":/resources/chronvane32.rc"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readAll())
        .replace(QStringLiteral("\" CHRONVANE32_VERSION"), QStringLiteral(CHRONVANE32_VERSION "\""));
}

// Text the window puts in place of the script's placeholder, by control id.
std::optional<QString> windowOwnedText(int id) {
    if (std::ranges::find(dialog::logLineIds, id) != dialog::logLineIds.end()) {
        return QString();  // the empty log
    }
    if (id == dialog::helpButtonId) {
        return QString::fromUtf8(dialog::helpButtonText(false));
    }
    return std::nullopt;
}

TEST(ScriptTexts, EachControlShowsItsScriptTextInTheWindow) {
    test::FakeClock clock;
    DeviceMap devices;
    for (int i = 0; i < portCount; ++i) {
        devices.setPath(i, "/nonexistent/chronvane-test-tty");
    }
    helpExpanded = false;
    const ClockDialog main(clock, devices);
    const AboutDialog about;
    const QString source = scriptSource();
    const struct {
        const QDialog& window;
        const DialogTemplate& layout;
    } windows[] = {{main, clockDialogTemplate()}, {about, aboutDialogTemplate()}};
    for (const auto& [window, layout] : windows) {
        SCOPED_TRACE(layout.caption);
        EXPECT_EQ(window.windowTitle().toStdString(), layout.caption);
        EXPECT_TRUE(source.contains("CAPTION \"" + QString::fromUtf8(layout.caption) + "\""));
        for (const ControlTemplate& control : layout.controls) {
            const QString text = QString::fromUtf8(control.text);
            const auto* widget = window.findChild<QWidget*>(QString::fromUtf8(control.objectName));
            ASSERT_NE(widget, nullptr) << control.objectName;
            if (control.kind == ControlKind::Icon) {
                continue;
            }
            EXPECT_TRUE(source.contains('"' + QString(text).replace('"', "\"\"") + '"'))
                << control.objectName << ": " << control.text;
            EXPECT_EQ(shownText(widget).toStdString(),
                      windowOwnedText(control.id).value_or(text).toStdString())
                << control.objectName;
        }
    }
}

}  // namespace
}  // namespace chronvane
