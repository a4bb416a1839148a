#pragma once

#include "analysis/AIMode.h"
#include "onboarding/TourStyle.h"

#include <QAbstractButton>
#include <optional>

class QLabel;
class RoundedPanel;
class SymbolView;

// One analysis mode of the analysis step: an icon tile, a title with an optional status badge, a
// subtitle and a check mark, lit in the accent colour while its mode is the chosen one. Clicked
// with the mouse only: it takes no keyboard focus.
class AIModeCard : public QAbstractButton {
    Q_OBJECT
public:
    AIModeCard(AIMode mode, const QString& icon, const QString& title, const QString& subtitle,
               bool hasBadge, QWidget* parent = nullptr);

    AIMode mode() const { return mode_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    // The badge's text and colour (shown in the colour only while selected).
    void setBadge(const QString& text, Theme::Named color);
    // Nothing for a card without a badge.
    std::optional<QString> badgeText() const;
    // The colour the badge is drawn in now.
    QColor badgeColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    AIMode mode_;
    bool selected_ = false;
    Theme::Named badgeNamed_ = Theme::Named::secondary;
    RoundedPanel* iconTile_;
    SymbolView* icon_;
    RoundedPanel* badge_ = nullptr;
    QLabel* badgeLabel_ = nullptr;
    SymbolView* check_;
};
