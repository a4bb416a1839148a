#pragma once

#include <QColor>
#include <QDate>
#include <QLocale>
#include <QString>

// The colour a daily kippet is drawn in instead of its own: white in a dark appearance (window
// lightness under 128), 0.2 grey otherwise. Worked out on every call, so it follows a change
// of palette.
QColor dailyKippetColor();
// The daily kippet's name for a date: the weekday name in the locale's language, a space, the
// day, ".", the month, "." ("Saturday 5.12.").
QString dailyKippetName(const QDate& date, const QLocale& locale = QLocale());
