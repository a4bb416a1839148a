#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>

class ClockAnimation;
class ElidedLabel;
class Kippet;
class KippetIconBadge;
class QLabel;
class TuckAwayKippetActions;

// One open kippet in the tray's panel: its badge, name and item count; a click brings it back.
// While the pointer is over the row the action strip shows below it.
class TuckAwayKippetRow : public QWidget {
    Q_OBJECT
public:
    TuckAwayKippetRow(Kippet* kippet, bool cutoutEnabled, bool monochromeIcons,
                      QWidget* parent = nullptr);

    Kippet* kippet() const { return kippet_; }
    // Called on a click of the row.
    std::function<void()> onTap;
    // Called after the row's menu closed its kippet.
    std::function<void()> onKippetClosed;

    // The strip and the hover fill come and go in this time.
    static constexpr std::chrono::milliseconds hoverSpan{150};

    bool isRowHovering() const { return isRowHovering_; }
    // The strip, while hovered and while it slides away.
    TuckAwayKippetActions* actions() const { return actions_; }
    // How far the strip is in: 0 gone, 1 all shown below the row.
    qreal stripShown() const;
    QString countText() const;
    QColor iconColor() const;
    // The row's menu, built anew; it deletes itself when closed.
    QMenu* contextMenu();
    void setRowHovering(bool hovering);

signals:
    // The row grew or shrank (the strip came or went).
    void heightChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateTexts();
    void updateBadge();
    // The row's fill under the pointer, `shown` of the way in.
    QColor highlight(qreal shown) const;
    void revealStepped();
    void revealFinished();
    // The strip below its holder's bottom edge by what it has still to slide in.
    void placeStrip();

    QPointer<Kippet> kippet_;
    bool cutoutEnabled_;
    bool monochromeIcons_;
    bool isRowHovering_ = false;
    QWidget* button_;
    QWidget* badgeSlot_;
    KippetIconBadge* badge_;
    ElidedLabel* name_;
    QLabel* count_;
    TuckAwayKippetActions* actions_ = nullptr;
    // Grows with the strip; the strip slides down inside it from the row's top.
    QWidget* stripHolder_ = nullptr;
    ClockAnimation* reveal_;
};
