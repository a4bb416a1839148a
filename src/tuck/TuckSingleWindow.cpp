#include "tuck/TuckSingleWindow.h"

#include "app/KeyboardShortcutManager.h"
#include "app/MenuBarManager.h"
#include "app/WindowLevel.h"
#include "model/Kippet.h"
#include "platform/NotificationNames.h"
#include "platform/ScreenProvider.h"
#include "tuck/TuckSingleBorderShape.h"
#include "tuck/TuckSingleShadow.h"
#include "tuck/TuckSingleView.h"
#include "tuck/TuckTabPlacement.h"
#include "ui/WindowShapeMask.h"
#include "window/FloatingKippetWindow.h"

#include <QKeyEvent>
#include <QPainter>

namespace {
const RectD noScreenFrame(0, 0, 1440, 900);

std::optional<ScreenInfo> screenContaining(QPointF point) {
    for (const ScreenInfo& screen : ScreenProvider::shared().screens()) {
        if (screen.frame.contains(point))
            return screen;
    }
    return std::nullopt;
}
} // namespace

TuckSingleWindow::TuckSingleWindow(Kippet* kippet, ScreenEdge edge,
                                   const std::optional<ScreenInfo>& screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::NoDropShadowWindowHint),
      kippet_(kippet), kippetId_(kippet->id()), currentEdge_(edge) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose, false);
    WindowLevel::makeFloating(this);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(kippet->name());
    connect(kippet, &Kippet::nameChanged, this, [this, kippet] { setWindowTitle(kippet->name()); });

    std::optional<ScreenInfo> chosen = screen;
    if (!chosen)
        chosen = ScreenProvider::shared().mainScreen();
    if (!chosen && !ScreenProvider::shared().screens().isEmpty())
        chosen = ScreenProvider::shared().screens().first();
    const RectD visible = chosen ? chosen->visibleFrame : noScreenFrame;

    view_ = new TuckSingleView(kippet, edge, cornerRadius, this);
    const QPointer<TuckSingleWindow> self(this);
    view_->onUntuck = [self] {
        if (self && self->onUntuck)
            self->onUntuck();
    };
    view_->onPullTabDrag = [self](QPointF globalPosition) {
        if (self)
            self->snapToNearestEdge(ScreenProvider::shared().space().fromQtPoint(globalPosition));
    };
    // Without a compositor the shadow's room would come out as a black box around the tab.
    shapeMask_ = new WindowShapeMask(this, [this] {
        return WindowShapeMask::ofPath(TuckSingleBorderShape::fill(
            QRectF(view_->geometry()), cornerRadius, view_->currentEdge()));
    });
    setFrame(TuckTabPlacement::centred(edge, visible), edge);
    connect(view_, &TuckSingleView::shadowChanged, this, [this] {
        // The cut-out casts none: its window is the tab alone.
        if (shadowRoom(currentEdge_) != room_)
            setFrame(frame(), currentEdge_);
        shapeMask_->apply();
        update();
    });

    NotificationCenter::shared().observe(
        NotificationName::tuckSingleSelectionChanged, UserInfoKey::kippetId,
        QVariant::fromValue(kippetId_), this,
        [this](const NotificationCenter::Notification& notification) {
            handleSelectionChanged(notification);
        });
}

TuckSingleWindow::~TuckSingleWindow() = default;

RectD TuckSingleWindow::frame() const {
    return ScreenProvider::shared().space().fromQt(QRectF(geometry().marginsRemoved(room_)));
}

QMargins TuckSingleWindow::shadowRoom(ScreenEdge edge) const {
    return view_->isCutout() ? QMargins() : TuckSingleShadow::margins(edge);
}

void TuckSingleWindow::setFrame(const RectD& frame, ScreenEdge edge) {
    room_ = shadowRoom(edge);
    const QRect tab = ScreenProvider::shared().space().toQtRect(frame);
    // The view keeps the tab's size when only the room around it changes.
    view_->setGeometry(QRect(QPoint(room_.left(), room_.top()), tab.size()));
    setGeometry(tab.marginsAdded(room_));
    shapeMask_->apply();
}

void TuckSingleWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_->setGeometry(rect().marginsRemoved(room_));
}

void TuckSingleWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    view_->paintShadow(painter, view_->geometry().topLeft());
}

void TuckSingleWindow::changeEdge(ScreenEdge edge) {
    if (edge == currentEdge_)
        return;
    currentEdge_ = edge;
    NotificationCenter::shared().post(NotificationName::tuckSingleEdgeChanged, {},
                                      {{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)},
                                       {UserInfoKey::edge, rawValue(edge)}});
}

void TuckSingleWindow::moveToEdge(ScreenEdge edge, int slot,
                                  const std::optional<ScreenInfo>& screen,
                                  const std::optional<RectD>& keepClear) {
    std::optional<ScreenInfo> chosen = screen;
    if (!chosen)
        chosen = screenContaining(frame().origin());
    if (!chosen)
        chosen = ScreenProvider::shared().mainScreen();
    if (!chosen)
        return;
    setFrame(TuckTabPlacement::slot(edge, slot, chosen->visibleFrame, keepClear), edge);
    slot_ = slot;
    changeEdge(edge);
}

void TuckSingleWindow::followScreenChange(const std::optional<RectD>& keepClear) {
    if (slot_) {
        moveToEdge(currentEdge_, *slot_, std::nullopt, keepClear);
        return;
    }
    std::optional<ScreenInfo> chosen = screenContaining(frame().origin());
    if (!chosen)
        chosen = ScreenProvider::shared().mainScreen();
    if (chosen)
        setFrame(TuckTabPlacement::onEdge(currentEdge_, along_, chosen->visibleFrame),
                 currentEdge_);
}

void TuckSingleWindow::snapToNearestEdge(QPointF point) {
    std::optional<ScreenInfo> chosen = screenContaining(point);
    if (!chosen)
        chosen = ScreenProvider::shared().mainScreen();
    if (!chosen)
        return;
    const auto [edge, frame] = TuckTabPlacement::snapped(point, chosen->visibleFrame);
    setFrame(frame, edge);
    slot_.reset();
    along_ = edge == ScreenEdge::top || edge == ScreenEdge::bottom ? point.x() : point.y();
    changeEdge(edge);
}

void TuckSingleWindow::makeKeyAndOrderFront() {
    show();
    raise();
    activateWindow();
}

void TuckSingleWindow::orderFrontWithoutKey() {
    const bool had = testAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_ShowWithoutActivating);
    show();
    raise();
    setAttribute(Qt::WA_ShowWithoutActivating, had);
}

void TuckSingleWindow::close() {
    // The menu or the key that untucks runs inside this window's own event handling.
    NotificationCenter::shared().removeObservers(this);
    hide();
    deleteLater();
}

// ---- selection ----

void TuckSingleWindow::postSelection(bool selected) {
    NotificationCenter::shared().post(NotificationName::tuckSingleSelectionChanged, {},
                                      {{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)},
                                       {UserInfoKey::isSelected, selected}});
}

void TuckSingleWindow::handleSelectionChanged(
    const NotificationCenter::Notification& notification) {
    const QVariant kippetId = notification.userInfo.value(UserInfoKey::kippetId);
    const QVariant selected = notification.userInfo.value(UserInfoKey::isSelected);
    if (kippetId.typeId() != QMetaType::QUuid || kippetId.toUuid() != kippetId_ ||
        selected.typeId() != QMetaType::Bool)
        return;
    isSelected_ = selected.toBool();
    if (isSelected_)
        makeKeyAndOrderFront();
}

void TuckSingleWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Another window took the keys: they no longer go to this kippet. Other tabs never deselect
    // this one.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isSelected_) {
        isSelected_ = false;
        postSelection(false);
    }
}

// ---- keys while selected ----

void TuckSingleWindow::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers taken = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!isSelected_ || (event->modifiers() & taken)) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (runShortcut(event->text().toLower()))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

bool TuckSingleWindow::runShortcut(const QString& key) {
    if (key.isEmpty() || !kippet_)
        return false;
    const KeyboardShortcuts& keys = KeyboardShortcutManager::shared().shortcuts();
    MenuBarManager& registry = MenuBarManager::shared();
    const QVariantMap kippetInfo{{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)}};
    // Editors and modes need the kippet's window: got, or made hidden.
    const auto window = [this, &registry] { return registry.windowForKippet(kippet_); };
    if (key == keys.todos) {
        window()->showTodoEditor();
    } else if (key == keys.notes) {
        window()->showNoteEditor();
    } else if (key == keys.import) {
        NotificationCenter::shared().post(NotificationName::kippetWindowImportRequested, {},
                                          kippetInfo);
    } else if (key == keys.paste) {
        NotificationCenter::shared().post(NotificationName::kippetWindowPasteRequested, {},
                                          kippetInfo);
    } else if (key == keys.expand) {
        window()->toggleExpanded();
    } else if (key == keys.mini) {
        FloatingKippetWindow* kippetWindow = window();
        if (!kippet_->isExpanded())
            kippetWindow->toggleMiniView();
    } else if (key == keys.dashboard) {
        registry.showDashboard();
    } else if (key == QLatin1String("c")) {
        FloatingKippetWindow* kippetWindow = window();
        if (kippet_->isExpanded())
            kippetWindow->toggleExpanded();
    } else {
        return false;
    }
    return true;
}
