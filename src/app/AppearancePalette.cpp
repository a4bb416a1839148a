#include "app/AppearancePalette.h"

#include "app/AppStyle.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

QPalette darkAppearancePalette() {
    QPalette palette;
    const QColor window(0x26, 0x26, 0x28);
    const QColor base(0x1e, 0x1e, 0x20);
    const QColor text(0xf2, 0xf2, 0xf7);
    const QColor disabledText(0x8e, 0x8e, 0x93);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x0a, 0x84, 0xff));
    palette.setColor(QPalette::PlaceholderText, disabledText);
    // The bevel shades: without them tab bars and disabled buttons keep a light palette's
    // white edges.
    palette.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4c));
    palette.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3c));
    palette.setColor(QPalette::Mid, QColor(0x2c, 0x2c, 0x2e));
    palette.setColor(QPalette::Dark, QColor(0x1c, 0x1c, 0x1e));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    return palette;
}

void applyAppearancePalette(QApplication& app) {
    app.setStyle(new AppStyle);
    const bool dark = qEnvironmentVariable("KIPPETS_PALETTE") == QLatin1String("dark");
    QPalette palette = dark ? darkAppearancePalette() : app.style()->standardPalette();
    // Windows keep their colours when another one is active, and need no repaint when focus
    // moves between them.
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto colorRole = static_cast<QPalette::ColorRole>(role);
        palette.setColor(QPalette::Inactive, colorRole, palette.color(QPalette::Active, colorRole));
    }
    app.setPalette(palette);
}
