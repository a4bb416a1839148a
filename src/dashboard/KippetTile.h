#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class Kippet;
class QMenu;
class QVariantAnimation;

// What a kippet's card and its list row share: a click opens a closed kippet (its window to the
// front) or closes an open one with its window; the context menu; the delete confirmation; the
// "Error" alert for a failed reopen, close or delete. Subclasses only draw. A tile keeps nothing
// of the kippet: it reads the kippet and the manager's open kippets whenever it draws.
class KippetTile : public QWidget {
    Q_OBJECT
public:
    using KippetCallback = std::function<void(Kippet*)>;

    // `onEdit`: "Edit Kippet"; `onEditInstructions`: "Custom Instructions..." (may be empty).
    KippetTile(Kippet* kippet, KippetCallback onEdit, KippetCallback onEditInstructions,
               QWidget* parent = nullptr);

    Kippet* kippet() const { return kippet_; }
    bool isOpen() const { return isOpen_; }
    // How far the look has gone from the closed one (0) to the open one (1): it follows a change
    // of the open state with a critically damped spring.
    qreal openness() const { return openness_; }
    // "Kippet is open" while open, else empty: what the open strip says.
    QString statusText() const;
    // The count badge: the items, plus one for a todo list and one for a note with text.
    QString countText() const;
    // The colour the icon and badge are drawn in: the daily colour for a daily kippet.
    QColor kippetColor() const;

    // What a click does.
    void toggle();
    // The context menu as it would open now (not shown); owned by this tile.
    QMenu* buildContextMenu();
    // Asks whether to delete, and deletes on "Delete".
    void confirmDelete();

    static inline const QString activeToolTip = QStringLiteral("Active");

protected:
    // Where the green "Active" dot is drawn while open.
    virtual QRectF activeDotRect() const = 0;
    // The part that takes clicks (a card's shadow margin does not).
    virtual QRectF hitRect() const { return QRectF(rect()); }
    // Draws the green "Active" dot with its glow.
    void paintActiveDot(class QPainter& painter, const QRectF& rect) const;
    // After openness() changed; the tile has been scheduled for a repaint.
    virtual void opennessChanged() {}
    // The colour between the closed look's and the open look's, by openness().
    QColor blend(const QColor& closed, const QColor& open) const;

    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void refreshOpenState();
    void setOpenness(qreal openness);
    void showError(const QString& message);

    QPointer<Kippet> kippet_;
    KippetCallback onEdit_;
    KippetCallback onEditInstructions_;
    bool isOpen_ = false;
    qreal openness_ = 0;
    QVariantAnimation* openAnimation_;
    bool pressed_ = false;
};
