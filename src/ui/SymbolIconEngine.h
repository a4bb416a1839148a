#pragma once

#include <QColor>
#include <QIconEngine>
#include <QString>

// Draws one bundled symbol in one colour at any size and scale, so an icon stays sharp on every
// screen. Disabled, it is drawn faded.
class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(QString bundledName, QColor color);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    QColor colorFor(QIcon::Mode mode) const;

    QString name_;
    QColor color_;
};
