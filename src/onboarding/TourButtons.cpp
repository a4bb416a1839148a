#include "onboarding/TourButtons.h"

#include "onboarding/TourStyle.h"

#include <QPushButton>

namespace {
QString css(const QColor& color) {
    return color.name(QColor::HexArgb);
}
} // namespace

void TourButtons::style(QPushButton* button, Kind kind, bool large) {
    using Theme::Named;
    const QPalette palette = button->palette();
    const QColor accent = Theme::color(Named::accent, palette);
    const QColor text = Theme::color(Named::primary, palette);
    const QString padding = large ? QStringLiteral("12px 20px") : QStringLiteral("4px 12px");
    QString sheet;
    switch (kind) {
    case Kind::plain:
        sheet = QStringLiteral("QPushButton { background: transparent; border: none; color: %1; "
                               "padding: %2; } QPushButton:pressed { color: %3; } "
                               "QPushButton:focus { text-decoration: underline; }")
                    .arg(css(Theme::color(Named::secondary, palette)), padding, css(text));
        break;
    case Kind::bordered:
        sheet = QStringLiteral("QPushButton { background: %1; border: 1px solid %2; "
                               "border-radius: 6px; color: %3; padding: %4; } "
                               "QPushButton:pressed { background: %2; } "
                               "QPushButton:focus { border: 2px solid %5; }")
                    .arg(css(Theme::withAlpha(text, 0.08)), css(Theme::withAlpha(text, 0.18)),
                         css(text), padding, css(Theme::withAlpha(accent, 0.6)));
        break;
    case Kind::prominent:
        sheet = QStringLiteral("QPushButton { background: %1; border: 1px solid %1; "
                               "border-radius: %2px; color: white; padding: %3; } "
                               "QPushButton:pressed { background: %4; border-color: %4; } "
                               "QPushButton:focus { border: 2px solid %5; }")
                    .arg(css(accent), large ? QStringLiteral("10") : QStringLiteral("6"), padding,
                         css(accent.darker(120)), css(accent.lighter(140)));
        break;
    }
    button->setStyleSheet(sheet);
    button->setCursor(Qt::PointingHandCursor);
    // The tour's buttons have no keys: a click leaves the keyboard where it was, so that Space
    // never presses the button last clicked. Tab still reaches them.
    button->setFocusPolicy(Qt::TabFocus);
}
