#include <gtest/gtest.h>

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <vector>

#include "modal_probe.h"
#include "ui/about_dialog.h"

namespace chronvane {
namespace {

using test::whenModalOpens;

class AboutDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { helpExpanded = false; }
    void TearDown() override { helpExpanded = false; }

    static QPushButton* helpButton(const AboutDialog& box) {
        return box.findChild<QPushButton*>("helpButton");
    }
};

// The texts themselves are the script's (ScriptTexts); what the script cannot say
// is which button Enter presses and where the icon's picture comes from.
TEST_F(AboutDialogTest, OkIsTheDefaultAndTheIconComesFromTheResources) {
    const AboutDialog box;
    EXPECT_TRUE(box.findChild<QPushButton*>("okButton")->isDefault());
    const auto* icon = box.findChild<QLabel*>("programIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull()) << "the program icon must come from the resources";
}

TEST_F(AboutDialogTest, ToggleSwitchesTextPaneAndHeightBothWays) {
    AboutDialog box;
    box.show();
    const int shortHeight = box.height();
    const QPoint topLeft = box.pos();
    EXPECT_EQ(helpButton(box)->text(), "Help >>");
    EXPECT_FALSE(box.isHelpPaneVisible());

    QTest::mouseClick(helpButton(box), Qt::LeftButton);
    EXPECT_TRUE(helpExpanded);
    EXPECT_EQ(helpButton(box)->text(), "<< Help");
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.height() > shortHeight; }));
    EXPECT_EQ(box.pos(), topLeft) << "the box grows downward";
    // The pane is everything from the separator down: roughly 145 of 199 rows.
    const double ratio = static_cast<double>(box.height()) / shortHeight;
    EXPECT_NEAR(ratio, 199.0 / 54.0, 0.1);

    QTest::mouseClick(helpButton(box), Qt::LeftButton);
    EXPECT_FALSE(helpExpanded);
    EXPECT_EQ(helpButton(box)->text(), "Help >>");
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.height() == shortHeight; }));
}

TEST_F(AboutDialogTest, F1InsideTheBoxOnlyEverOpensThePane) {
    AboutDialog box;
    box.show();
    const bool expectedAfterEachPress[] = {true, true};
    for (const bool expected : expectedAfterEachPress) {
        QTest::keyClick(&box, Qt::Key_F1);
        EXPECT_EQ(helpExpanded, expected);
        EXPECT_EQ(box.isHelpPaneVisible(), expected);
        EXPECT_TRUE(box.isVisible()) << "F1 does not close the box";
    }
}

// Records every height the box has while it is on screen.
class HeightRecorder : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = static_cast<QWidget*>(watched);
        if ((event->type() == QEvent::Show || event->type() == QEvent::Resize) &&
            widget->isVisible()) {
            heights.push_back(widget->height());
        }
        return false;
    }
    std::vector<int> heights;
};

TEST_F(AboutDialogTest, ABoxThatOpensExpandedIsNeverSeenShort) {
    int fullHeight = 0;
    {
        AboutDialog box;
        box.toggleHelp();
        box.show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return box.height() > 0; }));
        fullHeight = box.height();
    }
    helpExpanded = true;
    AboutDialog box;
    HeightRecorder recorder;
    box.installEventFilter(&recorder);
    box.show();
    QTest::qWait(50);
    EXPECT_TRUE(box.isHelpPaneVisible());
    EXPECT_EQ(helpButton(box)->text(), "<< Help");
    ASSERT_FALSE(recorder.heights.empty());
    for (const int height : recorder.heights) {
        EXPECT_EQ(height, fullHeight);
    }
}

TEST_F(AboutDialogTest, CentredOverTheMainWindowOrOnTheWorkArea) {
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget owner;
    // Off centre, and wide enough that the box fits above it without being pushed.
    owner.setGeometry(workArea.left() + workArea.width() / 8,
                      workArea.top() + workArea.height() / 4, workArea.width() * 3 / 4,
                      workArea.height() / 2);
    owner.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return owner.isVisible(); }));
    struct Case {
        const char* name;
        bool minimized;
    };
    for (const Case c : {Case{"shown", false}, Case{"minimized", true}}) {
        SCOPED_TRACE(c.name);
        if (c.minimized) {
            owner.showMinimized();
            EXPECT_TRUE(QTest::qWaitFor([&] { return owner.isMinimized(); }));
        }
        const QRect over = c.minimized ? workArea : owner.frameGeometry();
        AboutDialog box(&owner);
        // Centred at the short height, before the box is shown.
        const QRect placed(box.pos(), box.size());
        EXPECT_LE(std::abs(placed.center().x() - over.center().x()), 1);
        if (c.minimized) {
            EXPECT_LE(std::abs(placed.center().y() - over.center().y()), 1);
        }
        EXPECT_TRUE(workArea.contains(placed)) << "kept inside the work area";
    }
}

TEST_F(AboutDialogTest, EscapeAndOkCloseTheBoxAndKeepThePaneState) {
    AboutDialog owner;
    struct Case {
        const char* name;
        bool expanded;
        std::function<void(AboutDialog*)> close;
    };
    const Case cases[] = {
        {"Escape open", true, [](AboutDialog* b) { QTest::keyClick(b, Qt::Key_Escape); }},
        {"Enter closed", false, [](AboutDialog* b) { QTest::keyClick(b, Qt::Key_Return); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        helpExpanded = c.expanded;
        AboutDialog box;
        whenModalOpens<AboutDialog>([&](AboutDialog* shown) { c.close(shown); }, false);
        box.exec();
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(helpExpanded, c.expanded);
    }
}

// In a dialog Enter presses the push button that has the focus; the default button
// only when none has.
TEST_F(AboutDialogTest, EnterOnHelpTogglesThePaneInsteadOfClosing) {
    AboutDialog box;
    box.show();
    QPushButton* help = helpButton(box);
    help->setFocus();
    for (const bool expanded : {true, false}) {
        QTest::keyClick(help, Qt::Key_Return);
        EXPECT_EQ(box.isHelpPaneVisible(), expanded);
        EXPECT_TRUE(box.isVisible());
    }
}

}  // namespace
}  // namespace chronvane
