#include "tuck/TuckAwayView.h"

#include "app/KippetArranger.h"
#include "model/Kippet.h"
#include "platform/ClockAnimation.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "tuck/TuckAwayOutline.h"
#include "tuck/TuckAwayPanel.h"
#include "tuck/TuckAwayPullTab.h"
#include "tuck/TuckAwayStyle.h"
#include "tuck/TuckAwayWindow.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/WindowShapeMask.h"

#include <QGraphicsOpacityEffect>
#include <QMenu>
#include <QPainter>
#include <QPainterPathStroker>
#include <QShowEvent>

namespace {
constexpr double panelShadowRadius = 8;
constexpr double tabShadowRadius = 4;

// The shadows fall away from the screen edge a little: right on the left edge, else left.
double shadowOffsetX(ScreenEdge edge) {
    return edge == ScreenEdge::left ? 2 : -2;
}

// Fades a widget and what it holds; fully shown it needs no effect.
void fade(QWidget* widget, qreal opacity) {
    if (opacity >= 1) {
        widget->setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
}
} // namespace

TuckAwayView::TuckAwayView(ScreenEdge edge, QWidget* parent)
    : QWidget(parent), currentEdge_(edge), initialEdge_(edge),
      cutoutEnabled_(TuckAwayStyle::cutoutEnabled()), tab_(new TuckAwayPullTab(this)),
      panel_(new TuckAwayPanel(this)), outline_(new TuckAwayOutline(this)),
      slide_(new ClockAnimation(this)) {
    panel_->hide();
    outline_->hide();
    connect(slide_, &ClockAnimation::valueChanged, this, &TuckAwayView::slideStepped);
    connect(slide_, &ClockAnimation::finished, this, &TuckAwayView::slideFinished);
    panel_->onUntuck = [this] {
        if (onUntuck)
            onUntuck();
    };
    panel_->onFocusKippet = [this](Kippet* kippet) {
        if (onFocusKippet)
            onFocusKippet(kippet);
    };
    // The tray's own close of a kippet: its row must not stay behind to show a closed kippet.
    panel_->onKippetClosed = [this] {
        QMetaObject::invokeMethod(this, &TuckAwayView::refreshKippets, Qt::QueuedConnection);
    };
    connect(panel_, &TuckAwayPanel::heightChanged, this, &TuckAwayView::relayout);
    connect(tab_, &TuckAwayPullTab::clicked, this, &TuckAwayView::tabClicked);
    connect(tab_, &TuckAwayPullTab::dragStarted, this, &TuckAwayView::tabDragStarted);
    connect(tab_, &TuckAwayPullTab::dragged, this, [this](QPointF point) {
        if (onPullTabDrag)
            onPullTabDrag(point);
    });
    connect(tab_, &TuckAwayPullTab::contextMenuRequested, this,
            [this](QPoint position) { tabContextMenu()->popup(position); });
    NotificationCenter::shared().observe(
        NotificationName::tuckAwayEdgeChanged, this,
        [this](const NotificationCenter::Notification& notification) {
            edgeChanged(notification.userInfo.value(UserInfoKey::edge));
        });
    connect(&Preferences::shared(), &Preferences::changed, this, [this](const QString& key) {
        if (key != TuckAwayStyle::cutoutKey && key != TuckAwayStyle::monochromeKey)
            return;
        cutoutEnabled_ = TuckAwayStyle::cutoutEnabled();
        applyStyle();
        panel_->setKippets(activeKippets_, cutoutEnabled_, TuckAwayStyle::monochromeIcons());
    });
    applyStyle();
    outline_->setEdge(edge);
}

QList<Kippet*> TuckAwayView::activeKippets() const {
    QList<Kippet*> kippets;
    for (const QPointer<Kippet>& kippet : activeKippets_) {
        if (kippet)
            kippets.append(kippet);
    }
    return kippets;
}

bool TuckAwayView::isDraggingTab() const {
    return tab_->isDragging();
}

void TuckAwayView::refreshKippets() {
    activeKippets_.clear();
    for (Kippet* kippet : KippetManager::shared().activeKippets())
        activeKippets_.append(kippet);
    tab_->setCount(static_cast<int>(activeKippets_.size()));
    panel_->setKippets(activeKippets_, cutoutEnabled_, TuckAwayStyle::monochromeIcons());
}

void TuckAwayView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        refreshKippets();
}

void TuckAwayView::setExpanded(bool expanded, std::chrono::milliseconds span) {
    if (expanded == isExpanded_)
        return;
    isExpanded_ = expanded;
    if (expanded) {
        panel_->show();
        outline_->show();
    }
    // The window takes the open tray's frame before the panel starts to slide out.
    relayout();
    slide_->animateTo(expanded ? 1 : 0, span);
}

qreal TuckAwayView::panelShown() const {
    return slide_->value();
}

bool TuckAwayView::isPanelShown() const {
    return isExpanded_ || slide_->value() > 0;
}

void TuckAwayView::slideStepped() {
    relayout();
}

void TuckAwayView::slideFinished() {
    if (!isExpanded_) {
        panel_->hide();
        outline_->hide();
    }
    relayout();
}

TuckAwayLayout TuckAwayView::slid(TuckAwayLayout layout) const {
    // Still behind the edge: the panel's whole depth across it, and the tab with it.
    const qreal behind = 1 - slide_->value();
    QPoint offset;
    switch (currentEdge_) {
    case ScreenEdge::top:
        offset = {0, -qRound(layout.panel.height() * behind)};
        break;
    case ScreenEdge::bottom:
        offset = {0, qRound(layout.panel.height() * behind)};
        break;
    case ScreenEdge::left:
        offset = {-qRound(layout.panel.width() * behind), 0};
        break;
    case ScreenEdge::right:
        offset = {qRound(layout.panel.width() * behind), 0};
        break;
    }
    layout.tab.translate(offset);
    layout.panel.translate(offset);
    layout.stack.translate(offset);
    return layout;
}

void TuckAwayView::tabClicked() {
    refreshKippets();
    setExpanded(!isExpanded_);
}

void TuckAwayView::tabDragStarted() {
    setExpanded(false, dragCloseSpan);
}

void TuckAwayView::edgeChanged(const QVariant& edge) {
    // Only a raw value as text counts; anything else leaves the tray where it stands.
    if (edge.typeId() != QMetaType::QString)
        return;
    const std::optional<ScreenEdge> parsed = screenEdgeFromRaw(edge.toString());
    if (!parsed || *parsed == currentEdge_)
        return;
    currentEdge_ = *parsed;
    outline_->setEdge(currentEdge_);
    relayout();
}

void TuckAwayView::applyStyle() {
    tab_->setForeground(TuckAwayStyle::foreground(cutoutEnabled_, palette()));
    panel_->setCutout(cutoutEnabled_);
    update();
}

QSize TuckAwayView::stackSize() const {
    return TuckAwayLayout::stackSize(currentEdge_, panel_->sizeHint(), isPanelShown());
}

void TuckAwayView::relayout() {
    const bool shown = isPanelShown();
    layout_ = TuckAwayLayout::compute(currentEdge_, size(), panel_->sizeHint(), shown);
    if (shown)
        layout_ = slid(layout_);
    tab_->setGeometry(layout_.tab);
    if (shown) {
        panel_->setGeometry(layout_.panel);
        outline_->setGeometry(layout_.stack);
        outline_->raise();
        fade(panel_, panelShown());
        fade(outline_, panelShown());
    }
    update();
    emit layoutChanged();
}

void TuckAwayView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

QRegion TuckAwayView::drawnRegion() const {
    // The cut-out casts no shadow.
    const int tabMargin = cutoutEnabled_ ? 0 : static_cast<int>(tabShadowRadius) + 2;
    const int panelMargin = cutoutEnabled_ ? 0 : static_cast<int>(panelShadowRadius) + 2;
    QRegion region(layout_.tab.adjusted(-tabMargin, -tabMargin, tabMargin, tabMargin));
    // The outline runs on tab and panel.
    if (isPanelShown())
        region += layout_.panel.adjusted(-panelMargin, -panelMargin, panelMargin, panelMargin);
    return region.intersected(rect());
}

QRegion TuckAwayView::shapeRegion() const {
    QPainterPath shape =
        TuckAwayStyle::tabShape(QRectF(layout_.tab), TuckAwayStyle::cornerRadius, currentEdge_);
    if (isPanelShown()) {
        QPainterPath panel;
        panel.addRoundedRect(QRectF(layout_.panel), TuckAwayStyle::cornerRadius,
                             TuckAwayStyle::cornerRadius);
        // The line's soft pixels reach a little past an aliased cut of the fills: they stay.
        QPainterPathStroker line;
        line.setWidth(TuckAwayOutline::lineWidth);
        const QPainterPath outline =
            line.createStroke(outline_->drawnPath()).translated(QPointF(layout_.stack.topLeft()));
        shape = shape.united(panel).united(outline);
    }
    return WindowShapeMask::ofPath(shape).intersected(rect());
}

void TuckAwayView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill = TuckAwayStyle::fill(cutoutEnabled_, palette());
    const QPainterPath tab =
        TuckAwayStyle::tabShape(QRectF(layout_.tab), TuckAwayStyle::cornerRadius, currentEdge_);
    const bool shown = isPanelShown();
    // The panel fades in and out as it slides; the tab stays solid.
    const qreal panelOpacity = panelShown();
    QPainterPath panel;
    if (shown)
        panel.addRoundedRect(QRectF(layout_.panel), TuckAwayStyle::cornerRadius,
                             TuckAwayStyle::cornerRadius);
    if (!cutoutEnabled_) {
        const QPointF offset(shadowOffsetX(currentEdge_), 0);
        if (shown) {
            painter.setOpacity(panelOpacity);
            TuckAwayStyle::paintShadow(painter, panel.united(tab), 0.2, panelShadowRadius, offset);
            painter.setOpacity(1);
        }
        TuckAwayStyle::paintShadow(painter, tab, 0.3, tabShadowRadius, offset);
    }
    painter.fillPath(tab, fill);
    // The blur follows what is filled; the cut-out is opaque and needs none.
    Theme::blurBehind(this, cutoutEnabled_ ? QPainterPath() : (shown ? panel.united(tab) : tab));
    if (shown) {
        painter.setOpacity(panelOpacity);
        painter.fillPath(panel.subtracted(tab), fill);
    }
}

QMenu* TuckAwayView::tabContextMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QColor text = menu->palette().color(QPalette::WindowText);
    const QPointer<TuckAwayView> self(this);
    menu->addAction(Symbols::icon(SymbolNames::arrowUpLeftAndArrowDownRight, text),
                    QStringLiteral("Untuck Kippets"), menu, [self] {
                        if (!self || !self->onUntuck)
                            return;
                        const TuckAwayWindow::CallbackScope scope;
                        const std::function<void()> untuck = self->onUntuck;
                        untuck();
                    });
    QMenu* move =
        menu->addMenu(Symbols::icon(SymbolNames::arrowUpAndDownAndArrowLeftAndRight, text),
                      QStringLiteral("Move Kippets"));
    const QList<std::pair<ScreenEdge, QString>> edges = {
        {ScreenEdge::top, SymbolNames::arrowUpToLine},
        {ScreenEdge::bottom, SymbolNames::arrowDownToLine},
        {ScreenEdge::left, SymbolNames::arrowLeftToLine},
        {ScreenEdge::right, SymbolNames::arrowRightToLine}};
    for (const auto& [edge, symbol] : edges) {
        move->addAction(Symbols::icon(symbol, text), QStringLiteral("Move to ") + rawValue(edge),
                        menu, [edge] { KippetArranger::arrangeKippets(edge); });
    }
    return menu;
}
