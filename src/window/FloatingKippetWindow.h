#pragma once

#include "model/Kippet.h"
#include "platform/RectD.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <optional>

class ChromeBorderView;
class Kippet;

// The floating panel of one open kippet: a frameless, always-on-top tool window drawn as a
// rounded translucent tile, with a coloured border while it is active or something is dragged
// over it. It takes keyboard focus when clicked and is moved by dragging its background.
// Geometry is in the app's screen coordinates (ScreenSpace converts at the Qt boundary).
class FloatingKippetWindow : public QWidget {
    Q_OBJECT
public:
    // The frames of the other panels; asked only when the panel needs a default place.
    using OtherPanels = std::function<QList<RectD>()>;
    // Builds the content view of a panel; the panel owns what it returns.
    using ContentFactory = std::function<QWidget*(Kippet* kippet, FloatingKippetWindow* window)>;

    static constexpr double cornerRadius = 25;
    static constexpr double borderWidth = 3;
    static constexpr double activeBorderAlpha = 0.7;
    // Share of the window colour's opacity in the tile: the desktop shows through a little.
    static constexpr double tileOpacity = 0.85;

    // Places the panel (its stored position, else a default place clear of `otherPanels`),
    // clamps it onto a screen and, when the clamp moved it, stores and saves the corrected
    // position. Neither shows the panel nor registers it.
    FloatingKippetWindow(Kippet* kippet, const OtherPanels& otherPanels);
    ~FloatingKippetWindow() override;

    static void setContentFactory(ContentFactory factory);

    Kippet* kippet() const { return kippet_; }
    QUuid kippetId() const { return kippetId_; }
    QWidget* contentView() const { return content_; }

    RectD frame() const;
    void setFrame(const RectD& frame);
    std::optional<RectD> lastExpandedFrame() const { return lastExpandedFrame_; }
    bool isWindowActive() const { return isWindowActive_; }

    // Writes the origin into the kippet and starts its save.
    void updateSavedPosition(QPointF origin);

    // Called by the content view with its states and the kippet's display colour. Applied on a
    // later turn of the event loop, in call order, so the last of a burst wins.
    void updateChromeBorder(bool isWindowActive, bool isDraggingOver, const QColor& color);
    // What the border shows now: hidden, or its colour and width.
    bool isBorderVisible() const;
    QColor borderColor() const;
    double currentBorderWidth() const;

signals:
    // Activation changed (also to the same value); the content view follows it.
    void activeStateChanged(bool isActive);
    // The panel is about to close, on every road (its own close, or the registry's).
    void windowWillClose();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void place(const OtherPanels& otherPanels);
    void applySizeConstraints(const RectD& frame);
    void applyChromeBorder(bool isWindowActive, bool isDraggingOver, const QColor& color);
    void postActiveStateChanged();
    void windowDidMove();

    QPointer<Kippet> kippet_;
    const QUuid kippetId_;
    QWidget* content_ = nullptr;
    ChromeBorderView* border_ = nullptr;
    std::optional<RectD> lastExpandedFrame_;
    bool isWindowActive_ = false;
    // The origin last seen while shown; moves that keep it are placements, not moves.
    std::optional<QPointF> shownOrigin_;
    std::optional<QPoint> dragOffset_;
};
