#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSet>

#include "ui/program_dialogs.h"
#include "ui/window_placement.h"

namespace chronvane {
namespace {

TEST(DialogUnitsTest, ScaleWithTheFontAndKeepTheProportions) {
    QFont small = QApplication::font();
    small.setPixelSize(11);
    QFont large = small;
    large.setPixelSize(22);
    const DialogUnits a(small);
    const DialogUnits b(large);
    EXPECT_GT(b.baseX(), a.baseX());
    EXPECT_GT(b.baseY(), a.baseY());
    for (const DialogUnits& units : {a, b}) {
        // A quarter of the character width across, an eighth of the line height down.
        EXPECT_EQ(units.toPixelsX(4), units.baseX());
        EXPECT_EQ(units.toPixelsY(8), units.baseY());
    }
    const double ratioA = static_cast<double>(a.toPixelsX(230)) / a.toPixelsY(114);
    const double ratioB = static_cast<double>(b.toPixelsX(230)) / b.toPixelsY(114);
    EXPECT_NEAR(ratioA, ratioB, 0.1);
}

TEST(DialogUnitsTest, FittedUnitsLeaveNoFixedTextClipped) {
    const QStyle& style = *QApplication::style();
    for (const int pixels : {9, 11, 13, 16, 20, 28}) {
        SCOPED_TRACE(pixels);
        QFont font = QApplication::font();
        font.setPixelSize(pixels);
        for (const DialogTemplate* layout : {&clockDialogTemplate(), &aboutDialogTemplate()}) {
            const DialogUnits units = DialogUnits::fitted(font, *layout, style);
            EXPECT_GE(units.baseX(), DialogUnits(font).baseX());
            QDialog dialog;
            dialog.setFont(font);
            buildControls(*layout, &dialog, units);
            for (const QLabel* label : dialog.findChildren<QLabel*>()) {
                const auto* wrapped = qobject_cast<const WrappedLabel*>(label);
                const QStringList lines = wrapped ? wrapped->lines() : QStringList{label->text()};
                for (const QString& line : lines) {
                    EXPECT_LE(label->fontMetrics().horizontalAdvance(line.trimmed()),
                              label->width())
                        << label->objectName().toStdString();
                }
                const QFontMetrics metrics = label->fontMetrics();
                EXPECT_LE(metrics.height() + (lines.size() - 1) * metrics.lineSpacing(),
                          std::max(label->height(), metrics.height()) + 2)
                    << label->objectName().toStdString();
            }
        }
    }
}

// "-com1" split after its dash reads as two words; the texts wrap only at spaces,
// whatever the width, and lose no character doing it.
TEST(DialogTemplateTest, WrappedTextsNeverEndALineInADash) {
    const QFontMetrics metrics(QApplication::font());
    for (const ControlTemplate& control : aboutDialogTemplate().controls) {
        const QString text = QString::fromUtf8(control.text);
        if (control.kind != ControlKind::Label || control.height < wrappedLabelHeight) {
            continue;
        }
        for (int width = 40; width <= 600; width += 3) {
            const QStringList lines = wrapAtSpaces(text, metrics, width);
            for (const QString& line : lines) {
                EXPECT_FALSE(line.endsWith(QLatin1Char('-')))
                    << control.objectName << " at " << width << " px: " << line.toStdString();
            }
            EXPECT_EQ(lines.join(QString()).remove(QLatin1Char(' ')),
                      QString(text).remove(QLatin1Char(' ')));
        }
    }
}

TEST(DialogTemplateTest, EveryControlIsFoundByNameAndNumber) {
    for (const DialogTemplate* layout : {&clockDialogTemplate(), &aboutDialogTemplate()}) {
        QDialog dialog;
        const BuiltControls built = buildControls(*layout, &dialog, DialogUnits(dialog.font()));
        QSet<QString> names;
        for (const ControlTemplate& control : layout->controls) {
            const QString name = QString::fromUtf8(control.objectName);
            EXPECT_FALSE(names.contains(name)) << control.objectName << " twice";
            names.insert(name);
            EXPECT_EQ(dialog.findChild<QWidget*>(name), built.byName.value(name));
            if (control.id != 0) {
                EXPECT_EQ(built.byId.value(control.id), built.byName.value(name));
            }
        }
    }
}

TEST(DialogTemplateTest, MainWindowRadiosFormTwoExclusiveGroups) {
    QDialog dialog;
    buildControls(clockDialogTemplate(), &dialog, DialogUnits(dialog.font()));
    const auto radio = [&](const char* name) {
        return dialog.findChild<QRadioButton*>(QString::fromUtf8(name));
    };
    radio("com1Radio")->setChecked(true);
    radio("eseRadio")->setChecked(true);
    radio("com4Radio")->setChecked(true);
    EXPECT_FALSE(radio("com1Radio")->isChecked());
    EXPECT_TRUE(radio("eseRadio")->isChecked()) << "the protocol group is a group of its own";
    radio("ostrelRadio")->setChecked(true);
    EXPECT_FALSE(radio("eseRadio")->isChecked());
    EXPECT_TRUE(radio("com4Radio")->isChecked());
    for (const QRadioButton* button : dialog.findChildren<QRadioButton*>()) {
        EXPECT_FALSE(button->focusPolicy() & Qt::TabFocus) << "no control is a tab stop";
    }
}

TEST(DialogTemplateTest, PartOfATemplateLandsShiftedInItsOwnWidget) {
    QWidget pane;
    const DialogUnits units(pane.font());
    const BuiltControls built = buildControls(aboutDialogTemplate(), &pane, units, helpPaneTop());
    EXPECT_FALSE(built.byName.contains("okButton"));
    ASSERT_TRUE(built.byName.contains("helpSeparator"));
    EXPECT_EQ(built.byName.value("helpSeparator")->y(), 0);
    EXPECT_EQ(built.byName.value("helpIntro")->y(), units.toPixelsY(65 - helpPaneTop()));
}

TEST(WindowPlacementTest, CentresThenKeepsInsideTheWorkArea) {
    const QRect work(0, 0, 800, 600);
    struct Case {
        const char* name;
        QSize size;
        QRect over;
        QPoint expected;
    };
    const Case cases[] = {
        {"on the work area", {200, 100}, work, {300, 250}},
        {"odd sizes truncate", {201, 101}, QRect(0, 0, 801, 601), {300, 250}},
        {"over a window", {100, 50}, QRect(100, 100, 300, 200), {200, 175}},
        {"pushed in from the right and bottom", {300, 200}, QRect(700, 500, 100, 100), {500, 400}},
        {"pushed in from the left and top", {300, 200}, QRect(-100, -100, 100, 100), {0, 0}},
        {"larger than the area keeps the top-left corner", {900, 700}, work, {0, 0}},
        {"work area not at the origin", {100, 100}, QRect(50, 30, 100, 100), {50, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect area = c.over.topLeft() == QPoint(50, 30) ? QRect(50, 30, 500, 500) : work;
        EXPECT_EQ(centredPosition(c.size, c.over, area), c.expected);
    }
}

}  // namespace
}  // namespace chronvane
