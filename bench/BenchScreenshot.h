#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>

// A window-like 1280 × 800 screenshot: a title bar, a heading and a column of body text. The
// text recognition benchmark reads it, and the image label benchmark compares against reading it.
inline QImage renderedScreenshot() {
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.fillRect(0, 0, 1280, 36, QColor(225, 225, 230));
    painter.setPen(Qt::black);
    QFont font("DejaVu Sans");
    font.setPixelSize(15);
    painter.setFont(font);
    painter.drawText(QPoint(16, 24), "Kippets — Dashboard");
    font.setPixelSize(30);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QPoint(40, 95), "Release notes for the spring update");
    font.setPixelSize(17);
    font.setBold(false);
    painter.setFont(font);
    const QString sentence =
        "Items dropped into a kippet are analysed and sorted into sections %1.";
    for (int line = 0; line < 26; ++line)
        painter.drawText(QPoint(40, 140 + line * 25), sentence.arg(line + 1));
    return image;
}
