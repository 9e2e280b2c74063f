#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QWidget>
#include <vector>

namespace chronvane {

// Kinds of control a dialog template can hold.
enum class ControlKind {
    GroupBox,       // frame with an optional caption; without one it is a separator
    RadioButton,    // checks itself and unchecks the others of its group
    Label,          // left-aligned plain text, wrapped at spaces when taller than one line
    Icon,           // the program icon, scaled into the control's rectangle
    PushButton,     // Enter presses it while it has the focus
    DefaultButton,  // the push button Enter presses when no push button has the focus
};

// A static text this many dialog units tall or more holds more than one line.
inline constexpr int wrappedLabelHeight = 16;

// One control of a dialog template. Geometry is in dialog units: a quarter of the
// dialog font's average character width across, an eighth of its line height down.
struct ControlTemplate {
    int id;  // the control's number, or 0 for one no code refers to
    ControlKind kind;
    const char* objectName;  // how tests and code find the widget
    const char* text;
    int x;
    int y;
    int width;
    int height;
    bool groupStart;  // a radio with this set begins a new exclusive group
};

struct DialogTemplate {
    const char* caption;
    int width;  // dialog units
    int height;
    std::vector<ControlTemplate> controls;
};

// Converts dialog units into pixels for one font. The base units follow the
// classic rule: the average width of the 52 Latin letters and the font's line
// height, so a larger font or a higher scale grows the whole layout alike.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    // The units for font, widened where needed so that every fixed text of
    // dialogTemplate fits its control (radio texts beside style's indicator,
    // word-wrapped texts within their height). The template was laid out for a
    // narrower font; some fonts set digits and brackets wider than their letters
    // suggest, and the wider units keep the proportions while clipping nothing.
    static DialogUnits fitted(const QFont& font, const DialogTemplate& dialogTemplate,
                              const QStyle& style);

    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }
    // Rounded to the nearest pixel, like the platform's own conversion.
    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QRect toPixels(int x, int y, int width, int height) const;

  private:
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}
    bool fits(const QFont& font, const DialogTemplate& dialogTemplate, int indicator) const;

    int m_baseX;
    int m_baseY;
};

// The lines text takes when wrapped to width pixels in metrics' font: breaks only
// where there are spaces (the spaces at a break are dropped), never after a dash, so
// an option such as "-com2" stays whole. A word wider than width gets a line of its
// own and sticks out. Never fails; an empty text is one empty line.
QStringList wrapAtSpaces(const QString& text, const QFontMetrics& metrics, int width);

// A static text of more than one line. Qt's own word wrap breaks after a dash as
// well, which would split "-com1" across two lines; this label shows its text()
// unchanged, wrapped at spaces only.
class WrappedLabel final : public QLabel {
    Q_OBJECT

  public:
    WrappedLabel(const QString& text, QWidget* parent);

    // The lines as they are drawn at the label's present width and font.
    QStringList lines() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The widgets made from a template, by control number and by object name.
struct BuiltControls {
    QHash<int, QWidget*> byId;
    QHash<QString, QWidget*> byName;
};

// Creates the template's controls as children of parent, positioned with units and
// shifted up by originY dialog units (so a part of a template can live in a child
// widget of its own). Only controls whose top lies in [fromY, toY) are made.
// Radio groups follow groupStart within the controls made. Every control gets no
// tab focus (the template has no tab stops) except push buttons. Never fails; an
// empty selection makes nothing.
BuiltControls buildControls(const DialogTemplate& dialogTemplate, QWidget* parent,
                            const DialogUnits& units, int fromY = 0, int toY = 1 << 16);

}  // namespace chronvane
