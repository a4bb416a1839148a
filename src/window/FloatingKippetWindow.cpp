#include "window/FloatingKippetWindow.h"

#include "app/KippetSaveTask.h"
#include "app/ScreenClamp.h"
#include "app/WindowLevel.h"
#include "editors/NoteEditorWindow.h"
#include "editors/TodoEditorWindow.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/ScreenProvider.h"
#include "ui/ChromeBorderView.h"
#include "ui/ResizeGrip.h"
#include "ui/Theme.h"
#include "ui/TransitionStage.h"
#include "ui/WindowManagerMoves.h"
#include "ui/WindowShapeMask.h"
#include "window/FloatingKippetView.h"
#include "window/KippetWindowMenu.h"
#include "window/PaintCache.h"
#include "window/PanelTransition.h"
#include "window/WindowPlacement.h"

#include <QApplication>
#include <QBackingStore>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

FloatingKippetWindow::FloatingKippetWindow(Kippet* kippet, const OtherPanels& otherPanels)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::NoDropShadowWindowHint),
      kippet_(kippet), kippetId_(kippet->id()) {
    setAttribute(Qt::WA_TranslucentBackground);
    transition_ = new PanelTransition(this);
    WindowLevel::makeFloating(this);
    setWindowTitle(kippet->name());
    shapeMask_ = new WindowShapeMask(
        this, WindowShapeMask::Outline([this] {
            QPainterPath outline;
            if (!transition_->cutsPanelAway())
                outline.addRoundedRect(WindowShapeMask::pixelAligned(size(), devicePixelRatioF()),
                                       cornerRadius, cornerRadius);
            return outline;
        }),
        // With a compositor the panel's transparent pixels hide it; a shape would go to the
        // window manager's frame only later and leave that frame's black showing meanwhile.
        [] { return QRegion(); });
    // Task bars and window lists name the panel by its kippet, also after a rename.
    connect(kippet, &Kippet::nameChanged, this, [this, kippet] { setWindowTitle(kippet->name()); });
    // A move by the window manager ends without a mouse-up on the panel: its end saves instead.
    // While the panel changes its frame itself, where the server has it is on its way.
    moves_ = new WindowManagerMoves(this, [this] { return transition_->isUnderWay(); });
    connect(moves_, &WindowManagerMoves::settled, this, [this] {
        if (transition_->isUnderWay())
            return;
        rememberExpandedFrame();
        updateSavedPosition(frame().origin());
        windowDidMove();
    });
    place(otherPanels);

    content_ = new FloatingKippetView(kippet, this);
    content_->setParent(this);
    content_->setGeometry(childArea());
    layoutGrips();
    connect(&ScreenProvider::shared(), &ScreenProvider::screensChanged, this,
            &FloatingKippetWindow::screenParametersChanged);
}

FloatingKippetWindow::~FloatingKippetWindow() = default;

void FloatingKippetWindow::place(const OtherPanels& otherPanels) {
    const ScreenProvider& screens = ScreenProvider::shared();
    const QSizeF size = WindowPlacement::sizeFor(*kippet_);
    const QPointF stored = kippet_->position();
    const QPointF origin =
        stored.x() == 0 && stored.y() == 0
            ? WindowPlacement::defaultWindowOrigin(screens.mainScreen(), size, otherPanels())
            : stored;
    const RectD frame = frameClampedToScreens(screens.screens(), RectD(origin, size));
    // A default place that needed no correction stays unsaved: the kippet keeps (0, 0) until
    // it is moved.
    if (frame.origin() != origin) {
        kippet_->setPosition(frame.origin());
        startSaveTask(kippet_);
    }
    setFrame(frame);
    applySizeConstraints(frame);
}

void FloatingKippetWindow::updateSavedPosition(QPointF origin) {
    if (!kippet_)
        return;
    // The user placed the panel: a place from before a screen change is history.
    placeBeforeScreenChange_.reset();
    kippet_->setPosition(origin);
    startSaveTask(kippet_);
}

void FloatingKippetWindow::updateChromeBorder(bool isWindowActive, bool isDraggingOver,
                                              const QColor& color) {
    // Applied once the events of the moment are through, with the latest state only: a panel
    // that is activated and deactivated in one go never draws the border in between.
    const bool scheduled = pendingBorder_.has_value();
    pendingBorder_ = PendingBorder{isWindowActive, isDraggingOver, color};
    if (scheduled)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (const std::optional<PendingBorder> pending = std::exchange(pendingBorder_, {}))
                applyChromeBorder(pending->isWindowActive, pending->isDraggingOver, pending->color);
        },
        Qt::QueuedConnection);
}

void FloatingKippetWindow::applyChromeBorder(bool isWindowActive, bool isDraggingOver,
                                             const QColor& color) {
    if (isDraggingOver || isWindowActive) {
        QColor shown = color;
        shown.setAlphaF(isDraggingOver ? 1.0f : static_cast<float>(activeBorderAlpha));
        chromeBorder().setBorder(shown, borderWidth);
        return;
    }
    if (border_)
        border_->hideBorder();
}

// Made the first time a border shows: most panels at rest never need one.
ChromeBorderView& FloatingKippetWindow::chromeBorder() {
    if (!border_) {
        border_ = new ChromeBorderView(cornerRadius, this);
        border_->setGeometry(childArea());
        border_->raise();
        border_->show();
    }
    return *border_;
}

bool FloatingKippetWindow::isBorderVisible() const {
    return border_ && border_->isBorderShown();
}

QColor FloatingKippetWindow::borderColor() const {
    return border_ ? border_->color() : QColor(Qt::transparent);
}

double FloatingKippetWindow::currentBorderWidth() const {
    return border_ ? border_->borderWidth() : 0;
}

void FloatingKippetWindow::paintEvent(QPaintEvent* event) {
    // While a stage shows the panel, the panel's own pixels stay transparent.
    if (transition_->blanksPanel())
        return;
    // The backing store of a translucent window starts transparent; the tile is drawn once per
    // size and colours and blitted, which keeps a launch with many panels quick.
    const Theme::Backdrop backdrop = Theme::backdrop();
    const QPalette& colors = palette();
    const QColor tile = Theme::windowFill(Theme::Material::underWindowBackground, colors, backdrop);
    // Out to the window's last pixel, where the border ends too.
    const QRectF bounds = WindowShapeMask::pixelAligned(size(), devicePixelRatioF());
    QPainterPath shape;
    shape.addRoundedRect(bounds, cornerRadius, cornerRadius);
    Theme::blurBehind(this, shape);
    const QPixmap pixmap = PaintCache::drawing(
        QStringLiteral("kippet-tile-%1-%2")
            .arg(tile.rgba(), 8, 16)
            .arg(Theme::separator(colors).rgba(), 8, 16),
        size(), devicePixelRatioF(), [&](QPainter& tilePainter) {
            Theme::fillWindowMaterial(tilePainter, shape, Theme::Material::underWindowBackground,
                                      colors, backdrop);
        });
    QPainter painter(this);
    // The backing store is transparent where the tile is drawn, so copying equals blending.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Only what changed: a border change repaints just the band along the edge.
    for (const QRect& part : event->region())
        PaintCache::blit(painter, part, pixmap);
}

void FloatingKippetWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    keyboardHold_.frameChanged(Clock::shared().now());
    layoutChildren();
    rememberExpandedFrame();
}

QRect FloatingKippetWindow::childArea() const {
    // Beside the window, where nothing of them reaches the screen, yet laid out at its size.
    if (!transition_->blanksPanel())
        return rect();
    return QRect(QPoint(width() + 1, 0), transition_->layoutSize());
}

void FloatingKippetWindow::layoutChildren() {
    if (content_)
        content_->setGeometry(childArea());
    if (border_)
        border_->setGeometry(childArea());
    layoutGrips();
}

QPixmap FloatingKippetWindow::shownPicture() {
    // What the server was last given: the mode may have changed since, but nothing of it is
    // painted yet, so this is the panel as the screen shows it.
    const auto* shown =
        backingStore() ? dynamic_cast<QImage*>(backingStore()->paintDevice()) : nullptr;
    if (!shown || shown->isNull())
        return panelPicture();
    const qreal scale = devicePixelRatioF();
    QPixmap picture = QPixmap::fromImage(shown->copy(QRect(QPoint(0, 0), size() * scale)));
    picture.setDevicePixelRatio(scale);
    return picture;
}

namespace {
// Where a layout of `laidOut` goes, scaled down, in a picture of `shown`. The layout keeps what
// it holds (the header's buttons in its corners) inside its own border, within the corners' inner
// arcs; scaled alone into the picture, whose corners keep their full radius, those arcs would
// shrink and their content land on the picture's border. Inset just so far that the scaled inner
// arcs stay within the picture's: nothing at the full size, a few points at a mini tile's.
QRectF scaledContentArea(QSize shown, QSize laidOut) {
    const double radius = FloatingKippetWindow::cornerRadius;
    const double inner = radius - FloatingKippetWindow::borderWidth - 1;
    // How far in a corner's inner arc moves along each axis when the layout is scaled by s,
    // per (1 - s): its centre comes nearer the corner while the picture's stays.
    const double drift = radius - inner / std::sqrt(2.0);
    const auto inset = [drift](int shownLength, int laidOutLength) {
        if (shownLength >= laidOutLength || laidOutLength <= 2 * drift)
            return 0.0;
        return drift * (laidOutLength - shownLength) / (laidOutLength - 2 * drift);
    };
    const double by =
        std::max(inset(shown.width(), laidOut.width()), inset(shown.height(), laidOut.height()));
    return QRectF(QPointF(), QSizeF(shown)).adjusted(by, by, -by, -by);
}
} // namespace

QPixmap FloatingKippetWindow::panelPicture() {
    // Layouts that wait for the event loop take the current size first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const qreal scale = devicePixelRatioF();
    const bool blank = transition_->blanksPanel();
    const QSize shown = blank ? transition_->pictureSize() : size();
    const QSize laidOut = blank ? transition_->layoutSize() : size();
    QPixmap picture(shown * scale);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    const QPalette& colors = palette();
    const Theme::Backdrop backdrop = Theme::backdrop();
    QPainterPath shape;
    // Out to the picture's last pixel, where the border ends too.
    shape.addRoundedRect(WindowShapeMask::pixelAligned(shown, scale), cornerRadius, cornerRadius);
    Theme::fillWindowMaterial(painter, shape, Theme::Material::underWindowBackground, colors,
                              backdrop);
    // A widget whose updates are off renders nothing of itself: while the panel holds its last
    // picture on the screen, the picture for the stage would be the plate alone. Updates come
    // back for the render only: the repaint they ask for waits, like every other, until the
    // panel paints again.
    const bool held = transition_->holdsPicture() && !updatesEnabled();
    if (held)
        setUpdatesEnabled(true);
    if (content_ && laidOut == shown) {
        content_->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    } else if (content_) {
        // Laid out larger than shown: the whole layout, scaled down to the picture.
        QPixmap content(laidOut * scale);
        content.setDevicePixelRatio(scale);
        content.fill(Qt::transparent);
        content_->render(&content, QPoint(), QRegion(), QWidget::DrawChildren);
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setClipPath(shape);
        painter.drawPixmap(scaledContentArea(shown, laidOut), content, QRectF(content.rect()));
        painter.restore();
    }
    if (border_ && border_->isBorderShown()) {
        // The border runs along the picture's own edge, at its own width.
        const QRect place = border_->geometry();
        if (place.size() != shown)
            border_->resize(shown);
        border_->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        if (place.size() != shown)
            border_->setGeometry(place);
    }
    if (held)
        setUpdatesEnabled(false);
    return picture;
}

void FloatingKippetWindow::layoutGrips() {
    // Made when the panel first becomes resizable: most panels never do, and every widget
    // counts at start-up, where Qt walks all of them on each activation.
    if (isResizable_ && grips_.isEmpty()) {
        for (const Qt::Edges edges :
             {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
              Qt::Edges(Qt::BottomEdge), Qt::TopEdge | Qt::LeftEdge, Qt::TopEdge | Qt::RightEdge,
              Qt::BottomEdge | Qt::LeftEdge, Qt::BottomEdge | Qt::RightEdge}) {
            auto* grip = new ResizeGrip(edges, this);
            // Letting go of an edge is a mouse-up on the panel like any other: the place is
            // saved.
            connect(grip, &ResizeGrip::released, this,
                    [this] { updateSavedPosition(frame().origin()); });
            grips_.append(grip);
        }
    }
    for (ResizeGrip* grip : std::as_const(grips_)) {
        grip->setGeometry(grip->placement(size()));
        grip->setVisible(isResizable_ && !transition_->hidesPanel());
        grip->raise();
    }
}

void FloatingKippetWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    // The keyboard taken by the window manager as the panel's change of form left the pointer
    // over another window goes back to the panel before anything hears it went.
    if (!isActiveWindow()) {
        const QPoint pointer = QCursor::pos();
        const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
        const QDateTime now = Clock::shared().now();
        if (keyboardHold_.lost(pointer, buttons, isVisible() && !isMinimized(),
                               QApplication::activePopupWidget() ||
                                   QApplication::activeModalWidget(),
                               transition_->isUnderWay(), now)) {
            followKeyboardHold();
            activateWindow();
            return;
        }
        departingClick_.keyboardLeft(pointer, buttons, transition_->isUnderWay(), now);
        followKeyboardHold();
    }
    if (isActiveWindow()) {
        keyboardHold_.regained();
        departingClick_.keyboardBack();
        followKeyboardHold();
    }
    isWindowActive_ = isActiveWindow();
    postActiveStateChanged();
    emit activeStateChanged(isWindowActive_);
}

void FloatingKippetWindow::holdKeyboardThroughChange() {
    if (isActiveWindow())
        keyboardHold_.changeBegan(QCursor::pos(), Clock::shared().now());
}

void FloatingKippetWindow::followKeyboardHold() {
    const bool hears = keyboardHold_.phase() == KeyboardHold::Phase::takingBack ||
                       departingClick_.phase() == DepartingClick::Phase::awaitingPress;
    if (hears == hearsAppEvents_)
        return;
    hearsAppEvents_ = hears;
    if (hears)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool FloatingKippetWindow::pressLeftThePanel(const QMouseEvent& press) {
    const bool left =
        departingClick_.pressedOnPanel(press.globalPosition().toPoint(), Clock::shared().now());
    followKeyboardHold();
    return left;
}

bool FloatingKippetWindow::keyForPanel(QObject* watched, QEvent* event) {
    // Keys reach the window that has the keyboard in Qt's eyes, which follows the server's; the
    // panel takes only what its own window would have got.
    if (!watched->isWindowType() || watched == watchedWindow_ || !watchedWindow_)
        return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress && event->spontaneous()) {
        // A press on the stage showing the panel on its way is the panel's to judge.
        if (!qobject_cast<TransitionStage*>(QWidget::find(static_cast<QWindow*>(watched)->winId())))
            departingClick_.pressedElsewhere();
        keyboardHold_.pressedElsewhere();
        followKeyboardHold();
        return false;
    }
    const bool key =
        (type == QEvent::KeyPress || type == QEvent::KeyRelease) && event->spontaneous();
    if (!key && type != QEvent::ShortcutOverride)
        return false;
    const bool forwards = keyboardHold_.forwardsKeys(
        QCursor::pos(), QGuiApplication::mouseButtons(), isVisible() && !isMinimized(),
        QApplication::activePopupWidget() || QApplication::activeModalWidget(),
        Clock::shared().now());
    followKeyboardHold();
    if (!forwards)
        return false;
    // Whether the key overrides the app's shortcuts is the panel's to say as well: the window
    // that took the keyboard answers nothing.
    const std::unique_ptr<QEvent> handedOn(event->clone());
    QCoreApplication::sendEvent(watchedWindow_, handedOn.get());
    event->setAccepted(handedOn->isAccepted());
    return true;
}

void FloatingKippetWindow::postActiveStateChanged() {
    NotificationCenter::shared().post(NotificationName::kippetWindowActiveStateChanged, {},
                                      {{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)},
                                       {UserInfoKey::isActive, isWindowActive_}});
}

void FloatingKippetWindow::showEvent(QShowEvent* event) {
    // Sent before the panel is mapped: it comes back where the app left it. While it was off the
    // screen the window system may have moved it (a window manager letting go of a window puts
    // it where its own frame stood), and such a place is no place the user chose.
    if (const std::optional<QRect> place = std::exchange(placeWhileHidden_, {});
        place && geometry() != *place)
        setGeometry(*place);
    QWidget::showEvent(event);
    watchWindowHandle();
    // The stage stands by from the moment the panel shows: a compositor that fades windows in as
    // they map has long done so when the panel first changes its form.
    QMetaObject::invokeMethod(
        transition_,
        [transition = QPointer<PanelTransition>(transition_), this] {
            if (transition && isVisible())
                transition->panelShown();
        },
        Qt::QueuedConnection);
}

void FloatingKippetWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Hidden, tucked or closed while it changes its form, the panel ends the change: the stage
    // goes with it and nothing of the change waits for a screen the panel is no longer on. It
    // comes back at the change's end, else where it settled.
    const bool changing = transition_->isUnderWay();
    const QRect settled = moves_->placed();
    transition_->panelHidden();
    placeWhileHidden_ = changing ? geometry() : settled;
}

void FloatingKippetWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    keyboardHold_.frameChanged(Clock::shared().now());
    rememberExpandedFrame();
}

void FloatingKippetWindow::windowDidMove() {
    // Qt reports every placement as a move, the app's own included (a change of form that keeps
    // the panel on the screen moves its origin): the tour's drag task counts only the user's.
    if (kippet_ && kippet_->isDemoMode())
        NotificationCenter::shared().post(NotificationName::demoKippetMoved);
}

void FloatingKippetWindow::closeEvent(QCloseEvent* event) {
    // The editors go first, each announcing itself gone, then the registry forgets the panel.
    if (noteWindow_)
        noteWindow_->close();
    if (todoWindow_)
        todoWindow_->close();
    emit windowWillClose();
    QWidget::closeEvent(event);
}

void FloatingKippetWindow::mousePressEvent(QMouseEvent* event) {
    // A press on the panel itself while it changes form (before the stage is up, while the
    // panel still shows beneath it, or as it leaves) ends the change like a press on the stage:
    // the change would otherwise go on and put the panel back where it was taking it, under the
    // drag the press begins. Handed on, the press comes back here at the panel's new frame;
    // beyond that frame there is nothing of the panel to act on.
    if (transition_->isUnderWay()) {
        event->accept();
        transition_->pressed(*event);
        return;
    }
    if (!rect().contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    // A click gives the panel keyboard focus, then the press does what it always does.
    activateWindow();
    raise();
    if (event->button() == Qt::LeftButton)
        dragOffset_ = event->globalPosition().toPoint() - settledGeometry().topLeft();
    QWidget::mousePressEvent(event);
}

void FloatingKippetWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (transition_->hidesPanel()) {
        event->ignore();
        return;
    }
    // Right clicks anywhere in the content that no item card claimed end up here, in every mode.
    KippetWindowMenu::build(*this)->popup(event->globalPos());
    event->accept();
}

void FloatingKippetWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        const QPoint before = pos();
        move(event->globalPosition().toPoint() - *dragOffset_);
        if (pos() != before)
            windowDidMove();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void FloatingKippetWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (transition_->hidesPanel()) {
        event->ignore();
        return;
    }
    QWidget::mouseReleaseEvent(event);
    dragOffset_.reset();
    // Every mouse-up saves the place, also a click that did not move the panel.
    updateSavedPosition(frame().origin());
}
