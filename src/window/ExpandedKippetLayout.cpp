#include "window/ExpandedKippetLayout.h"

#include "analysis/ItemAnalysisStep.h"
#include "editors/KippetNoteCard.h"
#include "editors/KippetTodoCard.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"
#include "window/ActionButton.h"
#include "window/ElidedLabel.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/GridColumns.h"
#include "window/ItemActions.h"
#include "window/ItemCard.h"
#include "window/ItemLayoutMode.h"
#include "window/ItemStateTracker.h"
#include "window/ItemsArea.h"
#include "window/KippetIconBadge.h"
#include "window/StatusCard.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeySequence>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>

namespace {
const QString aiEnabledKey = QStringLiteral("ai_enabled");
constexpr int collapseTrailingPadding = 16;
constexpr int toolbarSpacing = 10;
constexpr int toolbarPadding = 12;

// The kippet's own note card, which opens the window's note editor (or fronts the open one).
QWidget* makeNoteCard(FloatingKippetView* view) {
    QPointer<FloatingKippetWindow> window(view->window());
    return new KippetNoteCard(view->kippet(), [window] {
        if (window)
            window->showNoteEditor();
    });
}

ExpandedKippetLayout::CardFactory& noteCardFactory() {
    static ExpandedKippetLayout::CardFactory factory = makeNoteCard;
    return factory;
}

QWidget* makeTodoCard(FloatingKippetView* view) {
    QPointer<FloatingKippetWindow> window(view->window());
    return new KippetTodoCard(view->kippet(), [window] {
        if (window)
            window->showTodoEditor();
    });
}

ExpandedKippetLayout::CardFactory& todoCardFactory() {
    static ExpandedKippetLayout::CardFactory factory = makeTodoCard;
    return factory;
}

QString pasteHelpText() {
    return QStringLiteral("Paste from Clipboard (%1)")
        .arg(QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText));
}
} // namespace

void ExpandedKippetLayout::setNoteCardFactory(CardFactory factory) {
    noteCardFactory() = std::move(factory);
}

void ExpandedKippetLayout::setTodoCardFactory(CardFactory factory) {
    todoCardFactory() = std::move(factory);
}

ExpandedKippetLayout::ExpandedKippetLayout(FloatingKippetView* view)
    : view_(view), kippet_(view->kippet()), aiEnabled_(ItemAnalysisStep::isAnalysisEnabled()) {
    setObjectName(QStringLiteral("ExpandedLayout"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(makeHeader());

    itemsArea_ = new ItemsArea(kippet_, ItemLayoutModes::stored(), view->gridColumns().count());
    if (const CardFactory& factory = noteCardFactory())
        itemsArea_->setNoteCard(factory(view));
    if (const CardFactory& factory = todoCardFactory())
        itemsArea_->setTodoCard(factory(view));
    connect(itemsArea_, &ItemsArea::layoutSwitchClicked, this,
            &ExpandedKippetLayout::toggleItemLayoutMode);
    connect(itemsArea_, &ItemsArea::cardCreated, this,
            [this](ItemCard* card) { ItemActions::attach(card, kippet_); });
    for (ItemCard* card : itemsArea_->cards())
        ItemActions::attach(card, kippet_);
    auto* content = new QWidget;
    contentStack_ = new QStackedLayout(content);
    contentStack_->addWidget(itemsArea_);
    stack->addWidget(content, 1);
    stack->addWidget(makeToolbar());

    connect(&view->gridColumns(), &GridColumns::countChanged, itemsArea_,
            &ItemsArea::setColumnCount);
    connect(&Preferences::shared(), &Preferences::changed, this,
            &ExpandedKippetLayout::preferenceChanged);
    connect(&view->itemStates(), &ItemStateTracker::changed, this,
            &ExpandedKippetLayout::updateContent);
    if (kippet_) {
        connect(kippet_, &Kippet::itemsChanged, itemsArea_, &ItemsArea::rebuild);
        connect(kippet_, &Kippet::nameChanged, this, &ExpandedKippetLayout::updateKippetLook);
        connect(kippet_, &Kippet::iconChanged, this, &ExpandedKippetLayout::updateKippetLook);
        connect(kippet_, &Kippet::colorChanged, this, &ExpandedKippetLayout::updateKippetLook);
        connect(kippet_, &Kippet::isDailyKippetChanged, this,
                &ExpandedKippetLayout::updateKippetLook);
    }
    updateContent();
}

ExpandedKippetLayout::~ExpandedKippetLayout() = default;

QWidget* ExpandedKippetLayout::makeHeader() {
    const QColor accent = palette().color(QPalette::Highlight);
    const bool active = view_->isWindowActive();
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    // The badge carries room for its glow: the circle itself keeps the header's 12 points.
    row->setContentsMargins(16, 12 - KippetIconBadge::glowMargin, 16, 12);
    row->setSpacing(0);
    auto* create = new ActionButton(
        SymbolNames::plusCircleFill, QStringLiteral("Create New Kippet"),
        QStringLiteral("NewKippetButton"),
        [view = view_] {
            if (view)
                view->setShowNewKippetSheet(true);
        },
        active, false, accent, 24, 18, ActionButtonStyle::plain);
    auto* close = new ActionButton(
        SymbolNames::xmarkCircleFill, QStringLiteral("Close Kippet"),
        QStringLiteral("CloseKippetButton"),
        [view = view_] {
            if (view)
                view->closeKippet();
        },
        active, false, accent, 24, 18, ActionButtonStyle::plain);

    auto* identity = new QVBoxLayout;
    identity->setContentsMargins(0, 0, 0, 0);
    identity->setSpacing(4 - KippetIconBadge::glowMargin);
    badge_ = new KippetIconBadge(view_->displayColor(), kippet_ ? kippet_->icon() : QString(),
                                 active, 28);
    name_ = new ElidedLabel(kippet_ ? kippet_->name() : QString());
    name_->setObjectName(QStringLiteral("KippetName"));
    name_->setFont(Theme::font(Theme::TextStyle::headline));
    name_->setAlignment(Qt::AlignCenter);
    identity->addWidget(badge_, 0, Qt::AlignHCenter);
    identity->addWidget(name_);

    // The buttons' tops line up with the badge's circle, not with its glow.
    for (ActionButton* button : {create, close}) {
        auto* side = new QVBoxLayout;
        side->setContentsMargins(0, KippetIconBadge::glowMargin, 0, 0);
        side->addWidget(button);
        side->addStretch();
        if (button == close)
            row->addSpacing(8);
        row->addLayout(side);
        if (button == create) {
            row->addSpacing(8);
            row->addLayout(identity, 1);
        }
    }
    buttons_ = {create, close};
    return header;
}

QWidget* ExpandedKippetLayout::makeToolbar() {
    const QColor accent = palette().color(QPalette::Highlight);
    const QColor colour = view_->displayColor();
    const bool active = view_->isWindowActive();
    toolbar_ = new QWidget;
    toolbar_->setObjectName(QStringLiteral("Toolbar"));
    auto* row = new QHBoxLayout(toolbar_);
    row->setContentsMargins(0, toolbarPadding, 0, toolbarPadding);
    row->setSpacing(toolbarSpacing);
    auto* paste = new ActionButton(
        SymbolNames::docOnClipboard, pasteHelpText(), QStringLiteral("PasteButton"),
        [view = view_] {
            if (view)
                view->pasteFromClipboard();
        },
        active, false, accent, 36, 16, ActionButtonStyle::glass);
    notesButton_ = new ActionButton(
        SymbolNames::noteText, QStringLiteral("Open Notes"), QStringLiteral("NotesButton"),
        [this] { notesButtonTapped(); }, active, view_->isNoteEditorOpen(), colour, 36, 16,
        ActionButtonStyle::glass);
    auto* import = new ActionButton(
        SymbolNames::squareAndArrowDown, QStringLiteral("Import Files"),
        QStringLiteral("ImportButton"),
        [view = view_] {
            if (view)
                view->importFiles();
        },
        active, false, accent, 36, 16, ActionButtonStyle::glass);
    todosButton_ = new ActionButton(
        SymbolNames::checklist, QStringLiteral("Open Todos"), QStringLiteral("TodosButton"),
        [this] { todosButtonTapped(); }, active, view_->isTodoEditorOpen(), colour, 36, 16,
        ActionButtonStyle::glass);
    row->addStretch();
    for (ActionButton* button : {paste, notesButton_, import, todosButton_})
        row->addWidget(button);
    row->addStretch();
    collapseButton_ = new ActionButton(
        SymbolNames::arrowDownRightAndArrowUpLeft, QStringLiteral("Collapse Kippet"),
        QStringLiteral("CollapseButton"),
        [view = view_] {
            if (view && view->window())
                view->window()->toggleExpanded();
        },
        active, false, accent, 32, 14, ActionButtonStyle::glass, toolbar_);
    toolbar_->installEventFilter(this);
    buttons_ += {paste, notesButton_, import, todosButton_, collapseButton_};
    return toolbar_;
}

// The collapse button lies over the toolbar's row, at its trailing end.
bool ExpandedKippetLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == toolbar_ && event->type() == QEvent::Resize)
        placeCollapseButton();
    return QWidget::eventFilter(watched, event);
}

// A panel still growing into its expanded size may be too narrow for the centred buttons and
// the collapse button side by side: the buttons then centre in the room before it, closer
// together as far as it takes.
void ExpandedKippetLayout::placeCollapseButton() {
    const QSize size = collapseButton_->sizeHint();
    const int left = toolbar_->width() - collapseTrailingPadding - size.width();
    collapseButton_->setGeometry(left, (toolbar_->height() - size.height()) / 2, size.width(),
                                 size.height());
    auto* row = static_cast<QHBoxLayout*>(toolbar_->layout());
    int buttons = 0;
    int count = 0;
    for (int index = 0; index < row->count(); ++index) {
        if (const QWidget* button = row->itemAt(index)->widget()) {
            buttons += button->sizeHint().width();
            ++count;
        }
    }
    const int gaps = std::max(1, count - 1);
    const int centredRight = (toolbar_->width() + buttons + gaps * toolbarSpacing) / 2;
    const bool crowded = centredRight > left - toolbarSpacing;
    const int room = left - toolbarSpacing;
    row->setContentsMargins(0, toolbarPadding, crowded ? toolbar_->width() - room : 0,
                            toolbarPadding);
    row->setSpacing(crowded ? std::clamp((room - buttons) / gaps, 0, toolbarSpacing)
                            : toolbarSpacing);
}

QString ExpandedKippetLayout::shownName() const {
    return name_->fullText();
}

void ExpandedKippetLayout::setIsWindowActive(bool isWindowActive) {
    badge_->setIsActive(isWindowActive);
}

void ExpandedKippetLayout::updateKippetLook() {
    if (!kippet_ || !view_)
        return;
    name_->setFullText(kippet_->name());
    badge_->setIcon(kippet_->icon());
    badge_->setColor(view_->displayColor());
    for (ItemCard* card : itemsArea_->cards())
        card->update();
}

void ExpandedKippetLayout::preferenceChanged(const QString& key) {
    if (key == ItemLayoutModes::preferenceKey) {
        itemsArea_->setLayoutMode(ItemLayoutModes::stored());
    } else if (key == aiEnabledKey) {
        const bool enabled = ItemAnalysisStep::isAnalysisEnabled();
        if (std::exchange(aiEnabled_, enabled) != enabled)
            updateContent();
    }
}

void ExpandedKippetLayout::updateContent() {
    if (!view_)
        return;
    const ItemStateTracker& states = view_->itemStates();
    const ExpandedContent content = chooseExpandedContent(
        aiEnabled_, states.isAnalyzingContent(), states.hasItemsWaitingForAnalysis(),
        states.showAnalysisFailedState(), states.showImportState());
    if (content == content_ && (content == ExpandedContent::items || statusCard_))
        return;
    content_ = content;
    if (statusCard_ && statusCard_->content() != content) {
        contentStack_->removeWidget(statusCard_);
        statusCard_->deleteLater();
        statusCard_ = nullptr;
    }
    if (content == ExpandedContent::items) {
        contentStack_->setCurrentWidget(itemsArea_);
        return;
    }
    if (!statusCard_) {
        statusCard_ = new StatusCard(content);
        contentStack_->addWidget(statusCard_);
    }
    contentStack_->setCurrentWidget(statusCard_);
}

void ExpandedKippetLayout::toggleItemLayoutMode() {
    ItemLayoutModes::toggleStored();
}

void ExpandedKippetLayout::notesButtonTapped() {
    Log::line(QStringLiteral("📝 Notes button clicked (expanded)"));
    if (view_ && view_->window())
        view_->window()->toggleNoteEditor();
}

void ExpandedKippetLayout::todosButtonTapped() {
    Log::line(QStringLiteral("✅ Todos button clicked (expanded)"));
    if (view_ && view_->window())
        view_->window()->toggleTodoEditor();
}

// The grid's columns follow the width of the whole layout, not of the scrolling part. A width is
// taken once the events of the moment are done: a mode switch shows the layout before the panel
// takes its expanded size, and the sizes an animated switch passes through are no one's choice.
void ExpandedKippetLayout::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reportWidthSoon();
}

void ExpandedKippetLayout::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    reportWidthSoon();
}

void ExpandedKippetLayout::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (view_ && !event->spontaneous())
        view_->gridColumns().cancelPendingResize();
}

void ExpandedKippetLayout::reportWidthSoon() {
    if (std::exchange(widthReportQueued_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            widthReportQueued_ = false;
            reportWidth();
        },
        Qt::QueuedConnection);
}

void ExpandedKippetLayout::reportWidth() {
    if (!view_ || !isVisible())
        return;
    // The animation's last step resizes the layout again, and that report counts.
    if (FloatingKippetWindow* window = view_->window(); window && window->isAnimating())
        return;
    GridColumns& grid = view_->gridColumns();
    if (grid.hasInitialized())
        grid.handleWidthChange(width());
    else
        grid.initializeIfNeeded(width());
}
