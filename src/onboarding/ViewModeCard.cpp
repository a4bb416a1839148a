#include "onboarding/ViewModeCard.h"

#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "ui/SymbolNames.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>

using Theme::Named;
using Theme::TextStyle;

namespace {
constexpr qreal cornerRadius = 12;
} // namespace

ViewModeCard::ViewModeCard(KippetViewMode mode, QWidget* parent)
    : QAbstractButton(parent), mode_(mode) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setText(rawValue(mode));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    QVBoxLayout* column = plainColumn(this);
    column->setContentsMargins(12, 16, 12, 16);
    StackBuilder stack(column, 10);
    stack.add(new SymbolView(symbolOf(mode), Theme::font(TextStyle::title).pixelSize(), this));
    auto* title = new QLabel(rawValue(mode), this);
    TourStyle::applyText(title, TextStyle::headline);
    stack.add(title);
    auto* description = new QLabel(descriptionOf(mode), this);
    description->setObjectName(QStringLiteral("ViewModeDescription"));
    TourStyle::applyText(description, TextStyle::caption, true);
    description->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    description->setWordWrap(true);
    stack.add(description, {});
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
}

QString ViewModeCard::symbolOf(KippetViewMode mode) {
    switch (mode) {
    case KippetViewMode::mini:
        return SymbolNames::minusSquareFill;
    case KippetViewMode::collapsed:
        return SymbolNames::squareFill;
    case KippetViewMode::expanded:
        break;
    }
    return SymbolNames::arrowUpLeftAndArrowDownRightSquareFill;
}

QString ViewModeCard::descriptionOf(KippetViewMode mode) {
    switch (mode) {
    case KippetViewMode::mini:
        return QStringLiteral("The smallest form - just an icon. Still accepts drops and "
                              "right-click for actions.");
    case KippetViewMode::collapsed:
        return QStringLiteral("Compact mode with quick action buttons. Perfect for keeping "
                              "kippets accessible without taking up space.");
    case KippetViewMode::expanded:
        break;
    }
    return QStringLiteral("See all your items, notes, and todos. Full control with action "
                          "buttons and drag & drop.");
}

void ViewModeCard::setSelected(bool selected) {
    if (selected_ != selected) {
        selected_ = selected;
        update();
    }
}

QSize ViewModeCard::sizeHint() const {
    return layout()->sizeHint();
}

QSize ViewModeCard::minimumSizeHint() const {
    return layout()->minimumSize();
}

void ViewModeCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    const QColor fill = selected_
                            ? Theme::withAlpha(Theme::color(Named::accent, palette()), 0.15)
                            : Theme::withAlpha(Theme::color(Named::secondary, palette()), 0.05);
    painter.fillPath(shape, fill);
    if (selected_) {
        // The stroke is centred on the edge and clipped to the shape, as a clipped card shows it.
        painter.setClipPath(shape);
        painter.setPen(QPen(Theme::color(Named::accent, palette()), 2));
        painter.drawPath(shape);
    }
}
