#include "tuck/TuckAwayWindow.h"

#include "app/WindowLevel.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "tuck/TuckAwayView.h"
#include "ui/WindowShapeMask.h"

#include <algorithm>

namespace {
const RectD fallbackVisibleFrame(0, 0, 1440, 900);

std::optional<ScreenInfo> screenContaining(QPointF point) {
    for (const ScreenInfo& screen : ScreenProvider::shared().screens()) {
        if (screen.frame.contains(point))
            return screen;
    }
    return ScreenProvider::shared().mainScreen();
}
} // namespace

TuckAwayWindow::TuckAwayWindow(ScreenEdge edge, const std::optional<ScreenInfo>& screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      currentEdge_(edge), view_(new TuckAwayView(edge, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    WindowLevel::makeFloating(this);
    setWindowTitle(QStringLiteral("Tucked Kippets"));
    const std::optional<ScreenInfo> chosen =
        screen ? screen : ScreenProvider::shared().mainScreen();
    visibleFrame_ = chosen ? chosen->visibleFrame : fallbackVisibleFrame;
    trayFrame_ = creationFrame(edge, visibleFrame_);

    // The view's callbacks reach the tray's current ones, and nothing once it is gone.
    view_->onUntuck = [this] {
        if (onUntuck) {
            const std::function<void()> untuck = onUntuck;
            untuck();
        }
    };
    view_->onFocusKippet = [this](Kippet* kippet) {
        if (onFocusKippet) {
            const std::function<void(Kippet*)> focus = onFocusKippet;
            focus(kippet);
        }
    };
    view_->onPullTabDrag = [this](QPointF point) { snapToNearestEdge(point); };
    // On X11 a transparent pixel still takes the click: only what is drawn may. Without a
    // compositor the shadows would come out as a black frame, so only the shapes are drawn.
    shapeMask_ = new WindowShapeMask(
        this, [this] { return view_->shapeRegion(); }, [this] { return view_->drawnRegion(); });
    connect(view_, &TuckAwayView::layoutChanged, this, &TuckAwayWindow::applyFrame);
    applyFrame();
}

TuckAwayWindow::~TuckAwayWindow() = default;

RectD TuckAwayWindow::creationFrame(ScreenEdge edge, const RectD& v) {
    switch (edge) {
    case ScreenEdge::top:
        return {v.midX() - depth / 2, v.maxY() - length, depth, length};
    case ScreenEdge::bottom:
        return {v.midX() - depth / 2, v.minY(), depth, length};
    case ScreenEdge::left:
        return {v.minX(), v.midY() - length / 2, depth, length};
    case ScreenEdge::right:
        return {v.maxX() - depth, v.midY() - length / 2, depth, length};
    }
    return {};
}

RectD TuckAwayWindow::frameForEdge(ScreenEdge edge, const ScreenInfo& screen,
                                   std::optional<QPointF> anchor) {
    const RectD& v = screen.visibleFrame;
    // The lower bound wins over the upper one, so a frame too small starts at its minimum.
    const auto along = [](double centre, double low, double high) {
        return std::max(low, std::min(centre - length / 2, high - length));
    };
    switch (edge) {
    case ScreenEdge::top:
    case ScreenEdge::bottom: {
        const double x = along(anchor ? anchor->x() : v.midX(), v.minX(), v.maxX());
        const double y = edge == ScreenEdge::top ? v.maxY() - depth : v.minY();
        return {x, y, length, depth};
    }
    case ScreenEdge::left:
    case ScreenEdge::right: {
        const double y = along(anchor ? anchor->y() : v.midY(), v.minY(), v.maxY());
        const double x = edge == ScreenEdge::left ? v.minX() : v.maxX() - depth;
        return {x, y, depth, length};
    }
    }
    return {};
}

ScreenEdge TuckAwayWindow::nearestEdge(QPointF p, const RectD& v) {
    const std::pair<ScreenEdge, double> distances[] = {{ScreenEdge::left, p.x() - v.minX()},
                                                       {ScreenEdge::right, v.maxX() - p.x()},
                                                       {ScreenEdge::bottom, p.y() - v.minY()},
                                                       {ScreenEdge::top, v.maxY() - p.y()}};
    ScreenEdge best = distances[0].first;
    double bestDistance = distances[0].second;
    for (const auto& [edge, distance] : distances) {
        if (distance < bestDistance) {
            best = edge;
            bestDistance = distance;
        }
    }
    return best;
}

void TuckAwayWindow::snapToNearestEdge(QPointF point) {
    const std::optional<ScreenInfo> screen = screenContaining(point);
    if (!screen)
        return;
    const ScreenEdge edge = nearestEdge(point, screen->visibleFrame);
    visibleFrame_ = screen->visibleFrame;
    trayFrame_ = frameForEdge(edge, *screen, point);
    placement_ = Placement::anchored;
    anchor_ = point;
    changeEdge(edge);
    applyFrame();
}

void TuckAwayWindow::moveToEdge(ScreenEdge edge, const std::optional<ScreenInfo>& screen) {
    const std::optional<ScreenInfo> target =
        screen ? screen : screenContaining(trayFrame_.origin());
    if (!target)
        return;
    visibleFrame_ = target->visibleFrame;
    trayFrame_ = frameForEdge(edge, *target);
    placement_ = Placement::centred;
    changeEdge(edge);
    applyFrame();
}

void TuckAwayWindow::followScreenChange() {
    // X11 keeps a window's top-left when the screen under it changes size: where the tray now
    // seems to be names the screen it stood on.
    const RectD seen = ScreenProvider::shared().space().fromQt(QRectF(geometry()));
    const std::optional<ScreenInfo> screen = screenContaining(seen.center());
    if (!screen)
        return;
    visibleFrame_ = screen->visibleFrame;
    switch (placement_) {
    case Placement::created:
        trayFrame_ = creationFrame(currentEdge_, visibleFrame_);
        break;
    case Placement::centred:
        trayFrame_ = frameForEdge(currentEdge_, *screen);
        break;
    case Placement::anchored:
        trayFrame_ = frameForEdge(currentEdge_, *screen, anchor_);
        break;
    }
    applyFrame();
}

void TuckAwayWindow::changeEdge(ScreenEdge edge) {
    if (edge == currentEdge_)
        return;
    currentEdge_ = edge;
    NotificationCenter::shared().post(NotificationName::tuckAwayEdgeChanged, {},
                                      {{UserInfoKey::edge, rawValue(edge)}});
}

RectD TuckAwayWindow::openFrame() const {
    const QSize needed = view_->stackSize();
    const RectD& tray = trayFrame_;
    const RectD& v = visibleFrame_;
    const double width = std::min(std::max(tray.width, double(needed.width())), v.width);
    const double height = std::min(std::max(tray.height, double(needed.height())), v.height);
    if (width <= tray.width && height <= tray.height)
        return tray;
    double x = tray.midX() - width / 2;
    double y = tray.midY() - height / 2;
    switch (currentEdge_) {
    case ScreenEdge::top:
        y = tray.maxY() - height;
        break;
    case ScreenEdge::bottom:
        y = tray.minY();
        break;
    case ScreenEdge::left:
        x = tray.minX();
        break;
    case ScreenEdge::right:
        x = tray.maxX() - width;
        break;
    }
    x = std::max(v.minX(), std::min(x, v.maxX() - width));
    y = std::max(v.minY(), std::min(y, v.maxY() - height));
    return {x, y, width, height};
}

void TuckAwayWindow::applyFrame() {
    if (applyingFrame_)
        return;
    applyingFrame_ = true;
    // Open, the panel and its tab may need more room than the tray's frame along the edge.
    frame_ = view_->isPanelShown() ? openFrame() : trayFrame_;
    setGeometry(ScreenProvider::shared().space().toQtRect(frame_));
    view_->setGeometry(rect());
    // A hidden view gets its resize only when shown; the mask needs its layout now.
    view_->relayout();
    shapeMask_->apply();
    applyingFrame_ = false;
}

RectD TuckAwayWindow::tabFrame() const {
    const QRect tab = view_->currentLayout().tab.translated(geometry().topLeft());
    return ScreenProvider::shared().space().fromQt(QRectF(tab));
}

void TuckAwayWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_->setGeometry(rect());
}

void TuckAwayWindow::makeKeyAndOrderFront() {
    show();
    raise();
}

void TuckAwayWindow::close() {
    hide();
    if (CallbackScope::running > 0)
        deleteLater();
    else
        delete this;
}
