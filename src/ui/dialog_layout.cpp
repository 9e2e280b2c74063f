#include "dialog_layout.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

namespace chronvane {
namespace {

constexpr const char* latinLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int roundedDivision(int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(numerator) / denominator));
}

QWidget* makeControl(const ControlTemplate& control, QWidget* parent) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
        case ControlKind::GroupBox: {
            if (text.isEmpty()) {
                auto* line = new QFrame(parent);
                line->setFrameShape(QFrame::HLine);
                line->setFrameShadow(QFrame::Sunken);
                return line;
            }
            return new QGroupBox(text, parent);
        }
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(text, parent);
            radio->setFocusPolicy(Qt::ClickFocus);
            return radio;
        }
        case ControlKind::Label: {
            // Plain text, and no buddy: an '&' is shown as it is.
            auto* label = control.height >= wrappedLabelHeight ? new WrappedLabel(text, parent)
                                                               : new QLabel(text, parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultButton: {
            // Auto-default: while a push button has the focus, Enter presses it; the
            // dialog's default button takes Enter back once the focus leaves.
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(true);
            button->setDefault(control.kind == ControlKind::DefaultButton);
            return button;
        }
    }
    return nullptr;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = 52;
    m_baseX = std::max(
        1, roundedDivision(metrics.horizontalAdvance(QLatin1String(latinLetters)), letters));
    m_baseY = std::max(1, metrics.height());
}

DialogUnits DialogUnits::fitted(const QFont& font, const DialogTemplate& dialogTemplate,
                                const QStyle& style) {
    const DialogUnits plain(font);
    const int indicator = style.pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                          style.pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    // Half again as wide is far more than any font needs; stop there regardless.
    for (int baseX = plain.m_baseX; baseX < plain.m_baseX * 3 / 2; ++baseX) {
        const DialogUnits candidate(baseX, plain.m_baseY);
        if (candidate.fits(font, dialogTemplate, indicator)) {
            return candidate;
        }
    }
    return {plain.m_baseX * 3 / 2, plain.m_baseY};
}

bool DialogUnits::fits(const QFont& font, const DialogTemplate& dialogTemplate,
                       int indicator) const {
    const QFontMetrics metrics(font);
    for (const ControlTemplate& control : dialogTemplate.controls) {
        const QString text = QString::fromUtf8(control.text);
        const int width = toPixelsX(control.width);
        const int height = toPixelsY(control.height);
        if (control.kind == ControlKind::RadioButton) {
            if (indicator + metrics.horizontalAdvance(text) > width) {
                return false;
            }
        } else if (control.kind == ControlKind::Label) {
            const QStringList lines = control.height >= wrappedLabelHeight
                                          ? wrapAtSpaces(text, metrics, width)
                                          : QStringList{text};
            const int lineCount = static_cast<int>(lines.size());
            const int neededHeight = metrics.height() + (lineCount - 1) * metrics.lineSpacing();
            for (const QString& line : lines) {
                // Trailing spaces take no room on the screen.
                if (metrics.horizontalAdvance(line.trimmed()) > width) {
                    return false;
                }
            }
            if (neededHeight > std::max(height, metrics.height())) {
                return false;
            }
        }
    }
    return true;
}

QStringList wrapAtSpaces(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    qsizetype pos = 0;
    while (pos < text.size()) {
        // The next run of spaces and the word after it.
        qsizetype wordStart = pos;
        while (wordStart < text.size() && text.at(wordStart) == QLatin1Char(' ')) {
            ++wordStart;
        }
        qsizetype wordEnd = wordStart;
        while (wordEnd < text.size() && text.at(wordEnd) != QLatin1Char(' ')) {
            ++wordEnd;
        }
        const QString candidate = line + text.mid(pos, wordEnd - pos);
        if (line.isEmpty() || metrics.horizontalAdvance(candidate) <= width ||
            wordStart == wordEnd) {
            line = candidate;
        } else {
            lines.append(line);
            line = text.mid(wordStart, wordEnd - wordStart);
        }
        pos = wordEnd;
    }
    lines.append(line);
    return lines;
}

WrappedLabel::WrappedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

QStringList WrappedLabel::lines() const {
    return wrapAtSpaces(text(), fontMetrics(), contentsRect().width());
}

void WrappedLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    QRect lineRect = contentsRect();
    lineRect.setHeight(metrics.height());
    for (const QString& line : lines()) {
        style()->drawItemText(&painter, lineRect, Qt::AlignLeft | Qt::AlignTop, palette(),
                              isEnabled(), line, foregroundRole());
        lineRect.translate(0, metrics.lineSpacing());
    }
}

int DialogUnits::toPixelsX(int units) const {
    return roundedDivision(units * m_baseX, 4);
}

int DialogUnits::toPixelsY(int units) const {
    return roundedDivision(units * m_baseY, 8);
}

QRect DialogUnits::toPixels(int x, int y, int width, int height) const {
    return {toPixelsX(x), toPixelsY(y), toPixelsX(width), toPixelsY(height)};
}

BuiltControls buildControls(const DialogTemplate& dialogTemplate, QWidget* parent,
                            const DialogUnits& units, int fromY, int toY) {
    BuiltControls built;
    QButtonGroup* group = nullptr;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        if (control.y < fromY || control.y >= toY) {
            continue;
        }
        QWidget* widget = makeControl(control, parent);
        widget->setObjectName(QString::fromUtf8(control.objectName));
        widget->setGeometry(
            units.toPixels(control.x, control.y - fromY, control.width, control.height));
        if (control.kind == ControlKind::GroupBox) {
            // Frames are drawn behind the controls they surround.
            widget->lower();
        }
        if (control.kind == ControlKind::RadioButton) {
            if (control.groupStart || group == nullptr) {
                group = new QButtonGroup(parent);
            }
            group->addButton(static_cast<QRadioButton*>(widget), control.id);
        } else if (control.groupStart) {
            group = nullptr;
        }
        if (control.id != 0) {
            built.byId.insert(control.id, widget);
        }
        built.byName.insert(widget->objectName(), widget);
    }
    return built;
}

}  // namespace chronvane
