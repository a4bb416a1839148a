#include "model/KippetColor.h"

#include <algorithm>
#include <cmath>

namespace {
bool isAlphanumeric(QChar c) {
    return c.isLetterOrNumber() || c.isMark();
}

QString trimNonAlphanumerics(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && !isAlphanumeric(text.at(start))) {
        ++start;
    }
    while (end > start && !isAlphanumeric(text.at(end - 1))) {
        --end;
    }
    return text.mid(start, end - start);
}

// The leading hexadecimal number of the text, after an optional 0x; 0 when there is none.
// Saturates like the platform scanner instead of wrapping.
quint64 scanHex(const QString& text) {
    qsizetype index = 0;
    if (text.size() > 2 && text.at(0) == QLatin1Char('0') &&
        (text.at(1) == QLatin1Char('x') || text.at(1) == QLatin1Char('X'))) {
        index = 2;
    }
    quint64 value = 0;
    for (; index < text.size(); ++index) {
        const char16_t c = text.at(index).unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        }
        if (digit < 0) {
            break;
        }
        value = value > (~quint64(0) >> 4) ? ~quint64(0) : (value << 4) | quint64(digit);
    }
    return value;
}

double byteAt(quint64 value, int shift) {
    return double((value >> shift) & 0xFF) / 255.0;
}

// NaN cannot be read as a component; it counts as 0 like an unreadable colour.
double clamped(double component) {
    return std::isnan(component) ? 0.0 : std::clamp(component, 0.0, 1.0);
}

int toByte(double component) {
    return static_cast<int>(std::lround(static_cast<float>(clamped(component)) * 255.0f));
}
} // namespace

std::optional<KippetColor> KippetColor::fromHex(const QString& hex) {
    const QString trimmed = trimNonAlphanumerics(hex);
    const quint64 value = scanHex(trimmed);
    switch (trimmed.size()) {
    case 6:
        return KippetColor{byteAt(value, 16), byteAt(value, 8), byteAt(value, 0), 1.0};
    case 8:
        return KippetColor{byteAt(value, 16), byteAt(value, 8), byteAt(value, 0),
                           byteAt(value, 24)};
    default:
        return std::nullopt;
    }
}

KippetColor KippetColor::standardBlue() {
    return KippetColor{0.0, 122.0 / 255.0, 1.0, 1.0};
}

KippetColor KippetColor::fromQColor(const QColor& color) {
    const QColor rgb = color.isValid() ? color.toRgb() : QColor(Qt::black);
    return KippetColor{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
}

QString KippetColor::toHex() const {
    // Clamped first: a component outside 0…1 would give more than two digits, a text no
    // reader accepts, and the colour would be lost at the next load.
    return QStringLiteral("%1%2%3")
        .arg(toByte(red), 2, 16, QLatin1Char('0'))
        .arg(toByte(green), 2, 16, QLatin1Char('0'))
        .arg(toByte(blue), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QColor KippetColor::toQColor() const {
    return QColor::fromRgbF(static_cast<float>(clamped(red)), static_cast<float>(clamped(green)),
                            static_cast<float>(clamped(blue)), static_cast<float>(clamped(alpha)));
}
