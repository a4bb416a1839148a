#pragma once

#include "window/ItemLayoutMode.h"

#include <QAbstractButton>

// The switch between the grid and the list of an expanded kippet window: it shows the layout a
// press switches to.
class LayoutSwitchButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit LayoutSwitchButton(ItemLayoutMode mode, QWidget* parent = nullptr);

    ItemLayoutMode mode() const { return mode_; }
    void setMode(ItemLayoutMode mode);
    QString systemName() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ItemLayoutMode mode_;
};
