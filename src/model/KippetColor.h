#pragma once

#include <QColor>
#include <QString>
#include <optional>

// A kippet's colour as sRGB components in 0…1. Stored as RRGGBB hex text; QColor only for display.
struct KippetColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    // Trims non-alphanumerics at both ends; six characters are RRGGBB, eight AARRGGBB, else
    // nothing.
    static std::optional<KippetColor> fromHex(const QString& hex);
    // The platform's standard blue, used where a stored colour cannot be read.
    static KippetColor standardBlue();
    static KippetColor fromQColor(const QColor& color);

    // Six upper-case hex digits, alpha dropped; components are clamped to 0…1 first.
    QString toHex() const;
    QColor toQColor() const;

    bool operator==(const KippetColor&) const = default;
};
