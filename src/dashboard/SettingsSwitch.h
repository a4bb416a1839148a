#pragma once

#include <QCheckBox>

// The settings' on/off switch: a rounded track with a round knob, the accent colour when on.
// It is a check box underneath, so keyboard and accessibility behave as one.
class SettingsSwitch : public QCheckBox {
    Q_OBJECT
public:
    explicit SettingsSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override { return QSize(38, 22); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
};
