#pragma once

#include <QAccessible>
#include <QList>
#include <QWidget>

class ActionButton;
class CollapsedStateIndicator;

// The collapsed panel's arrangement: the create and close buttons in the top corners, the
// status filling the middle, and the row of round buttons centred along the bottom. The tile's
// size is fixed, so the places are computed on resize instead of by nested box layouts, whose
// layout requests a launch of many panels would otherwise queue and merge by the thousand.
//
// At rest the layout draws the six buttons' faces itself and holds the buttons hidden: a launch
// shows hundreds of panels, and every shown widget is polished, painted and told of each
// activation on its own. The buttons come out as themselves once the pointer comes over the
// panel, and as soon as assistive technology is on (from the start, or when it starts later).
// Hidden, they still take clicks and presses sent to them and keep their names and states.
class CollapsedLayout : public QWidget, private QAccessible::ActivationObserver {
public:
    static constexpr int horizontalMargin = 16;
    static constexpr int verticalMargin = 12;
    static constexpr int spacing = 12;
    static constexpr int rowSpacing = 10;

    explicit CollapsedLayout(QWidget* parent = nullptr);
    ~CollapsedLayout() override;

    // The parts, made as children of this layout: moving a made widget into a parent costs
    // more than making it there.
    void setParts(ActionButton* create, ActionButton* close, CollapsedStateIndicator* status,
                  const QList<ActionButton*>& row);

    // Whether the buttons are shown as widgets.
    bool buttonsRevealed() const { return revealed_; }
    void revealButtons();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void accessibilityActiveChanged(bool active) override;
    void arrange();
    QList<ActionButton*> buttons() const;

    ActionButton* create_ = nullptr;
    ActionButton* close_ = nullptr;
    CollapsedStateIndicator* status_ = nullptr;
    QList<ActionButton*> row_;
    bool revealed_ = false;
    bool observing_ = false;
};
