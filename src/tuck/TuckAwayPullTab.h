#pragma once

#include <QPointF>
#include <QWidget>
#include <optional>

// The tray's pull tab: the tray symbol over the number of open kippets (none without any). A
// press that moves more than 5 points from where it started is a drag; anything less is a click.
// Its background is drawn by the tray view, which owns the shadows around it.
class TuckAwayPullTab : public QWidget {
    Q_OBJECT
public:
    static constexpr double dragThreshold = 5;

    explicit TuckAwayPullTab(QWidget* parent = nullptr);

    void setCount(int count);
    int count() const { return count_; }
    void setForeground(const QColor& color);
    bool isDragging() const { return isDragging_; }

signals:
    void clicked();
    // The drag passed the threshold.
    void dragStarted();
    // Each move of a drag, with the pointer in the app's screen coordinates.
    void dragged(QPointF screenPoint);
    void contextMenuRequested(QPoint globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int count_ = 0;
    QColor foreground_;
    std::optional<QPointF> pressedAt_;
    bool isDragging_ = false;
};
