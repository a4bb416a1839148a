#include "ui/DestructiveMenuStyle.h"

#include "ui/Theme.h"

#include <QApplication>
#include <QStyleOptionMenuItem>

DestructiveMenuStyle::DestructiveMenuStyle(QStringList destructiveLabels)
    : QProxyStyle(QApplication::style()->name()), labels_(std::move(destructiveLabels)) {}

void DestructiveMenuStyle::drawControl(ControlElement element, const QStyleOption* option,
                                       QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item || !labels_.contains(item->text)) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionMenuItem red(*item);
    const QColor tone = Theme::red();
    red.palette.setColor(QPalette::Text, tone);
    red.palette.setColor(QPalette::ButtonText, tone);
    red.palette.setColor(QPalette::WindowText, tone);
    QProxyStyle::drawControl(element, &red, painter, widget);
}
