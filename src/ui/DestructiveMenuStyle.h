#pragma once

#include <QProxyStyle>
#include <QStringList>

// Draws the menu entries with the given labels in red, as actions that destroy something.
class DestructiveMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit DestructiveMenuStyle(QStringList destructiveLabels);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;

private:
    QStringList labels_;
};
