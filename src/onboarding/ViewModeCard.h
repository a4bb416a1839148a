#pragma once

#include "model/KippetViewMode.h"

#include <QAbstractButton>

// One mode of the view modes step: its symbol, title and description on a card that lights up in
// the accent colour while its mode is the one shown. Clicked with the mouse only: it takes no
// keyboard focus.
class ViewModeCard : public QAbstractButton {
    Q_OBJECT
public:
    explicit ViewModeCard(KippetViewMode mode, QWidget* parent = nullptr);

    KippetViewMode mode() const { return mode_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

    static QString symbolOf(KippetViewMode mode);
    static QString descriptionOf(KippetViewMode mode);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KippetViewMode mode_;
    bool selected_ = false;
};
