#include "app/DailyKippet.h"

#include <QGuiApplication>
#include <QPalette>

QColor dailyKippetColor() {
    const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    return dark ? QColor::fromRgbF(1.0f, 1.0f, 1.0f, 1.0f)
                : QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f);
}

QString dailyKippetName(const QDate& date, const QLocale& locale) {
    return locale.dayName(date.dayOfWeek(), QLocale::LongFormat) + QLatin1Char(' ') +
           QString::number(date.day()) + QLatin1Char('.') + QString::number(date.month()) +
           QLatin1Char('.');
}
