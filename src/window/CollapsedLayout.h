#pragma once

#include "window/ActionButton.h"

#include <QAccessible>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>

class CollapsedStateIndicator;

// The collapsed panel's arrangement: the create and close buttons in the top corners, the
// status filling the middle, and the row of round buttons centred along the bottom. The tile's
// size is fixed, so the places are computed on resize instead of by nested box layouts, whose
// layout requests a launch of many panels would otherwise queue and merge by the thousand.
//
// At rest the layout draws the six buttons' faces itself and makes no button widgets: a launch
// shows hundreds of panels, and Qt walks every widget of the application on each activation.
// The buttons are made, and shown as themselves, once the pointer comes over the panel or
// assistive technology is on (from the start, or when it starts later); `button` makes them,
// hidden, for a caller that needs one before.
class CollapsedLayout : public QWidget, private QAccessible::ActivationObserver {
public:
    static constexpr int horizontalMargin = 16;
    static constexpr int verticalMargin = 12;
    static constexpr int spacing = 12;
    static constexpr int rowSpacing = 10;

    // A button before it is made.
    struct Part {
        ActionButtonLook look;
        QString helpText;
        QString identifier;
        std::function<void()> action;
    };

    explicit CollapsedLayout(QWidget* parent = nullptr);
    ~CollapsedLayout() override;

    // The status is made as a child of this layout: moving a made widget into a parent costs
    // more than making it there.
    void setParts(const Part& create, const Part& close, CollapsedStateIndicator* status,
                  const QList<Part>& row);

    // Whether the buttons are shown as widgets.
    bool buttonsRevealed() const { return revealed_; }
    void revealButtons();
    // The button with this identifier, made (hidden while the layout rests) if it was not.
    ActionButton* button(const QString& identifier);
    // The looks, kept for the faces and handed to the buttons once they are made.
    void setIsWindowActive(bool isWindowActive);
    void setButtonState(const QString& identifier, bool isActive, const QColor& activeColor,
                        const QString& helpText);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Slot {
        Part part;
        QRect geometry;
        QPointer<ActionButton> made;
    };

    void accessibilityActiveChanged(bool active) override;
    void arrange();
    void makeButtons();
    Slot* slotFor(const QString& identifier);

    // Create, close, then the row.
    QList<Slot> slots_;
    CollapsedStateIndicator* status_ = nullptr;
    bool revealed_ = false;
    bool observing_ = false;
};
