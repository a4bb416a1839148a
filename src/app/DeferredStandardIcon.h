#pragma once

#include <QIcon>
#include <QIconEngine>
#include <QPointer>
#include <QStyle>
#include <QWidget>

// A standard icon of a style that is read when something first draws or measures it.
class DeferredStandardIcon : public QIconEngine {
public:
    // `widget`, when given, is asked for again when the icon is read, if it still exists.
    DeferredStandardIcon(QStyle* style, QStyle::StandardPixmap which, const QWidget* widget);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    bool isNull() override;
    QString key() const override;
    QIconEngine* clone() const override;

private:
    const QIcon& icon();

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    QPointer<const QWidget> widget_;
    QIcon icon_;
    bool loaded_ = false;
};
