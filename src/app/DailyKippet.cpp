#include "app/DailyKippet.h"

#include "ui/NamedColors.h"

#include <QGuiApplication>
#include <QPalette>

QColor dailyKippetColor() {
    return Theme::daily(QGuiApplication::palette());
}

QString dailyKippetName(const QDate& date, const QLocale& locale) {
    return locale.dayName(date.dayOfWeek(), QLocale::LongFormat) + QLatin1Char(' ') +
           QString::number(date.day()) + QLatin1Char('.') + QString::number(date.month()) +
           QLatin1Char('.');
}
