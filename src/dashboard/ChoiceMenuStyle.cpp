#include "dashboard/ChoiceMenuStyle.h"

#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionMenuItem>

namespace {
constexpr int checkmarkGap = 16;
}

ChoiceMenuStyle::ChoiceMenuStyle() : QProxyStyle(QApplication::style()->name()) {}

void ChoiceMenuStyle::drawControl(ControlElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item || item->checkType == QStyleOptionMenuItem::NotCheckable) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionMenuItem plain(*item);
    plain.checkType = QStyleOptionMenuItem::NotCheckable;
    plain.checked = false;
    QProxyStyle::drawControl(element, &plain, painter, widget);
    if (!item->checked)
        return;
    const bool selected = item->state & State_Selected;
    const QColor tone = item->palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QPixmap mark = Theme::symbol(SymbolNames::checkmark, tone, checkmarkSize,
                                       painter->device()->devicePixelRatioF());
    const QSizeF size = mark.deviceIndependentSize();
    const QRect area = item->rect;
    painter->drawPixmap(
        QPointF(area.right() - 10 - size.width(), area.center().y() - size.height() / 2 + 0.5),
        mark);
}

QSize ChoiceMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                        const QSize& size, const QWidget* widget) const {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_MenuItem)
        result.rwidth() += checkmarkSize + checkmarkGap;
    return result;
}
