#pragma once

#include <QProxyStyle>

// The look of the dashboard's sort and display menus: every choice shows its symbol and its
// name, and the current one a "checkmark" after the name, where the platform style would put a
// check box over the symbol instead.
class ChoiceMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    ChoiceMenuStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;

    static constexpr int checkmarkSize = 12;
};
