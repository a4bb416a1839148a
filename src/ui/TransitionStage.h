#pragma once

#include <QPainterPath>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

namespace X11 {
class FrameChanges;
}

// A window of its own in which a panel's change of frame is shown, one whole picture a frame.
// On X11 a managed window's geometry passes through the window manager while its shape and its
// pixels go straight to the server, so they reach the screen at different moments: clipped
// panels, a ghost of the last frame, black bands where the frame of the window manager still
// stands. The stage bypasses the window manager, and each of its frames -- picture and shape --
// reaches the server in one piece, with nobody drawn in between. A press on the picture is its
// owner's: the stage hands it on, and what lies beneath gets nothing. Only where
// the display server has such windows (X11); elsewhere the panel animates itself.
class TransitionStage : public QWidget {
    Q_OBJECT
public:
    static bool isAvailable();
    // Where the server has a window now: its size and its place on the screen, in Qt's global
    // coordinates. None when the server does not say.
    static std::optional<QRect> shownGeometry(const QWidget* window);
    // How much larger than the window the window manager's frame around it is, in the server's
    // pixels: (0, 0) without a frame. None when the server does not say.
    static std::optional<QSize> frameMargin(const QWidget* window);
    // Whether the window manager's frame round a window cut to a shape shows all of that shape:
    // true without a frame, or with one that has no shape of its own, or when the server does not
    // say.
    static bool frameShowsShapeOf(const QWidget* window);

    // A window of its own, with no parent widget: a window made inside the panel's tree gave
    // widgets of the panel windows of their own on the server, which then took the pointer's
    // presses from the widgets beneath them that Qt would have given them to. Its owner
    // deletes it.
    explicit TransitionStage(qreal cornerRadius);

    // Maps the stage, showing nothing and out of the way, for as long as its owner shows: a
    // compositor fades a window in as it maps and out as it unmaps, and may paint a window that
    // has just mapped late; a stage that stays mapped shows each opening at once and whole.
    void standBy();
    // Shows over `area` the picture at `at` (global coordinates), painted beyond the screen before
    // the stage comes over the panel. Returns the number of this opening: ready() with it once
    // this picture is on the screen.
    int open(const QRect& area, const QPixmap& picture, const QRect& at);
    // Whether an opening shows, from open() to close().
    bool isShowing() const { return isVisible() && showing_; }
    // Whether the picture of the latest opening has reached the screen.
    bool isReady() const { return isShowing() && shownOpening_ == opening_; }
    // The next frame: the picture at `at`, cut to its rounded shape; `alongside` runs in the same
    // instant, so whatever it changes on the screen shows together with the frame.
    void showFrame(const QPixmap& picture, const QRect& at,
                   const std::function<void()>& alongside = {});
    // Leaves the panel's place in the instant `alongside` runs and stands by, still holding the
    // last frame: a compositor that is behind shows that where the stage stood, never nothing.
    // `offTheScreen`: a press on the stage ended the change, and the stage leaves the screen
    // instead, so that the pointer the press gave it, and the release, leave it at once.
    void close(const std::function<void()>& alongside = {}, bool offTheScreen = false);
    // Runs `steps` while the server serves this app alone: what they change reaches the screen
    // in one piece, and under a compositor every other stage showing a change is painted again
    // in the same instant. May nest; the server is released however the steps end.
    static void atOnce(const std::function<void()>& steps);
    // While a window waits out of sight under a compositor, what the server uncovers of it as it
    // grows stays transparent instead of showing a colour of the server's -- only where its
    // pixels have an alpha channel, since elsewhere that pixel is black; `false` leaves the
    // window to its own painting again.
    static void setExposedAreasTransparent(QWidget* window, bool transparent);
    // While the stage shows a window, the window manager's frame around it stays out of sight:
    // what the window manager draws into that frame as it changes its size (its own background,
    // before the window inside has grown or taken its new shape) never reaches the screen. Under
    // a compositor the frame is left out of its picture, else cut to nothing; `false` gives it
    // back its window's shape. `frameGrows`: whether the frame may grow meanwhile. What it
    // changed is kept in `changes`, and undone from there.
    static void setFrameOutOfSight(QWidget* window, X11::FrameChanges& changes, bool outOfSight,
                                   bool frameGrows = true);

signals:
    // The picture of the opening numbered `opening` is on the screen.
    void ready(int opening);
    // A mouse button went down on the picture; a button came up on the stage.
    void pressed(const QMouseEvent& press);
    void released(const QMouseEvent& release);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static std::vector<TransitionStage*> stages();
    void cut();
    // Cut to nothing, beyond the screen's top-left corner.
    void outOfTheWay();
    // Comes over the panel, the stage's top-left at `origin`, showing one pixel of its picture.
    void comeOver(QPoint origin);
    // `rect` (points) with room beyond it for every pixel of a picture placed there.
    QRect withRoomForPixels(const QRect& rect) const;
    // Where the picture starts, in the server's pixels of the stage.
    QPoint pictureOrigin() const;
    // Cuts the stage to `shape` (points), or to no shape; at a fractional scale to `outline`
    // (points, from the picture's origin; empty for the one pixel amid the picture that its
    // first frame waits with) in the server's own pixels.
    void shapeTo(const std::optional<QRegion>& shape, const QPainterPath& outline = {});
    // Takes the pointer only where the picture shows the panel.
    void takeInputWherePanelShows();

    qreal cornerRadius_;
    QPixmap picture_;
    QRect at_;
    // Openings so far, and the last whose picture was painted.
    int opening_ = 0;
    int shownOpening_ = 0;
    bool showing_ = false;
    // An opening that waits for the stage to have grown and painted at `pendingSize_`, beyond
    // the screen, before it comes over the panel.
    std::optional<QRect> pendingArea_;
    QSize pendingSize_;
    // Whether the stage painted while the server was held for the instant under way.
    bool paintedWhileHeld_ = false;
};
