#pragma once

#include "ui/HoverFade.h"

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <functional>

enum class ActionButtonStyle { glass, plain };

// What a button is drawn from, apart from the pointer over it.
struct ActionButtonLook {
    QString systemName;
    bool isWindowActive = false;
    bool isActive = false;
    QColor activeColor;
    qreal buttonSize = 0;
    qreal iconSize = 0;
    ActionButtonStyle style = ActionButtonStyle::plain;

    QSize size() const;
    // The colour the symbol is drawn in, over a window of `palette`.
    QColor symbolColor(const QPalette& palette) const;
    QColor glassFill(const QPalette& palette) const;
};

// The icon button of a kippet window's headers and button rows, drawn by itself: a symbol,
// white on a circle of its active colour while its function is on (near-black on a colour too
// light for white), else in the text colour (faint grey while its window is inactive); a glass
// button sits on a frosted circle. Under the pointer a white wash covers it and it grows a
// little. The help text is its tool tip and accessible name; the identifier is its object name.
class ActionButton : public QAbstractButton {
    Q_OBJECT
public:
    ActionButton(const QString& systemName, const QString& helpText,
                 const QString& accessibilityIdentifier, std::function<void()> action,
                 bool isWindowActive, bool isActive, const QColor& activeColor, qreal buttonSize,
                 qreal iconSize, ActionButtonStyle style, QWidget* parent = nullptr);

    ActionButton(const ActionButtonLook& look, const QString& helpText,
                 const QString& accessibilityIdentifier, std::function<void()> action,
                 QWidget* parent = nullptr);

    const ActionButtonLook& look() const { return look_; }
    QString systemName() const { return look_.systemName; }
    QString helpText() const { return toolTip(); }
    void setHelpText(const QString& helpText);
    bool isWindowActive() const { return look_.isWindowActive; }
    void setIsWindowActive(bool isWindowActive);
    bool isActive() const { return look_.isActive; }
    void setIsActive(bool isActive);
    QColor activeColor() const { return look_.activeColor; }
    void setActiveColor(const QColor& color);
    ActionButtonStyle style() const { return look_.style; }
    bool isHovering() const { return isHovering_; }
    // The colour the symbol is drawn in now.
    QColor symbolColor() const;

    QSize sizeHint() const override;
    // The look at rest, without the pointer over it; also what a parent draws in place of a
    // button it has not made yet.
    QPixmap restingFace() const;
    static QPixmap restingFace(const ActionButtonLook& look, const QPalette& palette,
                               qreal devicePixelRatio);

protected:
    void paintEvent(QPaintEvent* event) override;

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    static void paintFace(QPainter& painter, const ActionButtonLook& look, const QPalette& palette,
                          const QRectF& bounds, qreal hover, qreal devicePixelRatio);
    void setHovering(bool hovering);
    void lookChanged();

    ActionButtonLook look_;
    bool isHovering_ = false;
    HoverFade hover_;
};
