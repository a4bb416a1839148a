#pragma once

#include <QIconEngine>
#include <QList>
#include <QSize>

// The app's own icon: the status item's tray symbol in white on a rounded tile of the kippet
// blue, drawn from the bundled symbols at whatever size a desktop asks for, so a taskbar and a
// window switcher each get a sharp one. The installed icon (cmake/KippetsDesktop.cmake) is drawn
// from the same symbol with the same proportions.
class AppIconEngine : public QIconEngine {
public:
    // The icon every window of the app carries.
    static QIcon icon();
    // The sizes offered to a desktop that asks which ones there are.
    static QList<QSize> offeredSizes();

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;
};
