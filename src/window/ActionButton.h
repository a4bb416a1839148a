#pragma once

#include "window/HoverFade.h"

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <functional>

enum class ActionButtonStyle { glass, plain };

// The icon button of a kippet window's headers and button rows, drawn by itself: a symbol,
// white on a circle of its active colour while its function is on, else in the text colour
// (faint grey while its window is inactive); a glass button sits on a frosted circle. Under the
// pointer a white wash covers it and it grows a little. The help text is its tool tip and
// accessible name; the identifier is its object name.
class ActionButton : public QAbstractButton {
    Q_OBJECT
public:
    ActionButton(const QString& systemName, const QString& helpText,
                 const QString& accessibilityIdentifier, std::function<void()> action,
                 bool isWindowActive, bool isActive, const QColor& activeColor, qreal buttonSize,
                 qreal iconSize, ActionButtonStyle style, QWidget* parent = nullptr);

    QString systemName() const { return systemName_; }
    QString helpText() const { return toolTip(); }
    void setHelpText(const QString& helpText);
    bool isWindowActive() const { return isWindowActive_; }
    void setIsWindowActive(bool isWindowActive);
    bool isActive() const { return isActive_; }
    void setIsActive(bool isActive);
    QColor activeColor() const { return activeColor_; }
    void setActiveColor(const QColor& color);
    ActionButtonStyle style() const { return style_; }
    bool isHovering() const { return isHovering_; }
    // The colour the symbol is drawn in now.
    QColor symbolColor() const;

    QSize sizeHint() const override;
    // The look at rest, without the pointer over it; also what a parent draws in place of the
    // button while it holds it hidden.
    QPixmap restingFace() const;

protected:
    void paintEvent(QPaintEvent* event) override;

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void paintFace(QPainter& painter) const;
    void paintGlass(QPainter& painter, const QRectF& circle) const;
    QColor glassFill() const;
    void setHovering(bool hovering);
    void lookChanged();
    qreal washOpacity() const;

    QString systemName_;
    bool isWindowActive_;
    bool isActive_;
    QColor activeColor_;
    qreal buttonSize_;
    qreal iconSize_;
    ActionButtonStyle style_;
    bool isHovering_ = false;
    HoverFade hover_;
};
