#pragma once

#include <QList>
#include <QWidget>

class ActionButton;
class CollapsedStateIndicator;

// The collapsed panel's arrangement: the create and close buttons in the top corners, the
// status filling the middle, and the row of round buttons centred along the bottom. The tile's
// size is fixed, so the places are computed on resize instead of by nested box layouts, whose
// layout requests a launch of many panels would otherwise queue and merge by the thousand.
class CollapsedLayout : public QWidget {
public:
    static constexpr int horizontalMargin = 16;
    static constexpr int verticalMargin = 12;
    static constexpr int spacing = 12;
    static constexpr int rowSpacing = 10;

    explicit CollapsedLayout(QWidget* parent = nullptr);

    // The parts, made as children of this layout: moving a made widget into a parent costs
    // more than making it there.
    void setParts(ActionButton* create, ActionButton* close, CollapsedStateIndicator* status,
                  const QList<ActionButton*>& row);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrange();

    ActionButton* create_ = nullptr;
    ActionButton* close_ = nullptr;
    CollapsedStateIndicator* status_ = nullptr;
    QList<ActionButton*> row_;
};
