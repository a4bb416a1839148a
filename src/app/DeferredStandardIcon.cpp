#include "app/DeferredStandardIcon.h"

#include <QPainter>
#include <utility>

DeferredStandardIcon::DeferredStandardIcon(QStyle* style, QStyle::StandardPixmap which,
                                           const QWidget* widget)
    : style_(style), which_(which), widget_(widget) {}

const QIcon& DeferredStandardIcon::icon() {
    if (!std::exchange(loaded_, true) && style_)
        icon_ = style_->standardIcon(which_, nullptr, widget_.data());
    return icon_;
}

void DeferredStandardIcon::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                                 QIcon::State state) {
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
}

QPixmap DeferredStandardIcon::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return icon().pixmap(size, mode, state);
}

QPixmap DeferredStandardIcon::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                                           qreal scale) {
    return icon().pixmap(size, scale, mode, state);
}

QSize DeferredStandardIcon::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return icon().actualSize(size, mode, state);
}

QList<QSize> DeferredStandardIcon::availableSizes(QIcon::Mode mode, QIcon::State state) {
    return icon().availableSizes(mode, state);
}

bool DeferredStandardIcon::isNull() {
    return icon().isNull();
}

QString DeferredStandardIcon::key() const {
    return QStringLiteral("DeferredStandardIcon");
}

QIconEngine* DeferredStandardIcon::clone() const {
    auto* copy = new DeferredStandardIcon(style_, which_, widget_.data());
    copy->icon_ = icon_;
    copy->loaded_ = loaded_;
    return copy;
}
