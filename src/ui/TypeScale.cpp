#include "ui/TypeScale.h"

#include <QApplication>

namespace Theme {

int points(TextStyle style) {
    switch (style) {
    case TextStyle::largeTitle:
        return 26;
    case TextStyle::title:
        return 22;
    case TextStyle::title2:
        return 17;
    case TextStyle::title3:
        return 15;
    case TextStyle::headline:
    case TextStyle::body:
        return 13;
    case TextStyle::callout:
        return 12;
    case TextStyle::subheadline:
        return 11;
    case TextStyle::footnote:
    case TextStyle::caption:
    case TextStyle::caption2:
        return 10;
    }
    return 13;
}

QFont::Weight weight(TextStyle style) {
    return style == TextStyle::headline ? QFont::DemiBold : QFont::Normal;
}

QFont font(TextStyle style, QFont::Weight weight) {
    return systemFont(points(style), weight == QFont::Normal ? Theme::weight(style) : weight);
}

QFont systemFont(double points, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(qRound(points));
    font.setWeight(weight);
    return font;
}

} // namespace Theme
