#pragma once

#include "window/ExpandedContent.h"

#include <QWidget>

class QLabel;
class ShimmerSymbol;

// What an expanded kippet window shows in place of its items while they are analysed, after an
// analysis failed, or just after an import: a large pulsing symbol with a moving shimmer, a
// title and a line below it.
class StatusCard : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal symbolPoints = 48;
    static constexpr qreal shimmerWidth = 70;

    // `content` is one of the three status kinds, not the items.
    explicit StatusCard(ExpandedContent content, QWidget* parent = nullptr);

    ExpandedContent content() const { return content_; }
    QString title() const;
    QString subtitle() const;
    ShimmerSymbol* symbol() const { return symbol_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    ExpandedContent content_;
    ShimmerSymbol* symbol_;
    QLabel* title_;
    QLabel* subtitle_;
};
