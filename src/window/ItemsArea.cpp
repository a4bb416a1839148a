#include "window/ItemsArea.h"

#include "editors/KippetCardFrame.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "ui/Theme.h"
#include "window/CategorySection.h"
#include "window/ItemCard.h"
#include "window/ItemSections.h"
#include "window/ItemsEmptyStateView.h"
#include "window/LayoutSwitchButton.h"
#include "window/ThumbnailCache.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QSet>
#include <QVariantAnimation>

namespace {
// Cards are kept this far beyond the visible part, so a small scroll makes none.
constexpr int overscan = 240;
constexpr int layoutRowHeight = 26;
constexpr int cardMoveMs = 240;

int heightOf(QWidget* widget, int width) {
    return widget->hasHeightForWidth() ? widget->heightForWidth(width)
                                       : widget->sizeHint().height();
}
} // namespace

ItemsArea::ItemsArea(Kippet* kippet, ItemLayoutMode layoutMode, int columnCount, QWidget* parent)
    : QAbstractScrollArea(parent), kippet_(kippet), layoutMode_(layoutMode),
      columnCount_(std::max(1, columnCount)) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(wheelStep / 3);
    // A slim indicator over the panel's translucent background, not a trough with arrows.
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 0.45); border-radius: 4px;"
        " min-height: 28px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    thumbnails_ = new ThumbnailCache(devicePixelRatioF(), this);
    layoutRow_ = makeLayoutRow();
    rebuild();
}

ItemsArea::~ItemsArea() = default;

QWidget* ItemsArea::makeLayoutRow() {
    auto* row = new QWidget(viewport());
    row->setObjectName(QStringLiteral("LayoutRow"));
    auto* box = new QHBoxLayout(row);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(10);
    auto* files = new QLabel(QStringLiteral("Files"));
    files->setFont(Theme::font(Theme::TextStyle::subheadline));
    // Inside the scroll area it would take the text colour of a view's base.
    files->setForegroundRole(QPalette::WindowText);
    QPalette palette = files->palette();
    palette.setColor(QPalette::WindowText, Theme::secondary(palette));
    files->setPalette(palette);
    layoutSwitch_ = new LayoutSwitchButton(layoutMode_);
    connect(layoutSwitch_, &QAbstractButton::clicked, this, &ItemsArea::layoutSwitchClicked);
    box->addWidget(files);
    box->addWidget(layoutSwitch_);
    box->addStretch();
    return row;
}

void ItemsArea::setNoteCard(QWidget* card) {
    setTopCard(noteCard_, card);
}

void ItemsArea::setTodoCard(QWidget* card) {
    setTopCard(todoCard_, card);
}

void ItemsArea::setTopCard(QPointer<QWidget>& slot, QWidget* card) {
    delete slot.data();
    slot = card;
    if (card) {
        card->setParent(viewport());
        card->installEventFilter(this);
        card->show();
    }
    relayout();
}

// A top card that changes its size moves everything below it.
bool ItemsArea::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LayoutRequest &&
        (watched == noteCard_.data() || watched == todoCard_.data()))
        relayout();
    return QAbstractScrollArea::eventFilter(watched, event);
}

void ItemsArea::setLayoutMode(ItemLayoutMode layoutMode) {
    if (std::exchange(layoutMode_, layoutMode) == layoutMode)
        return;
    layoutSwitch_->setMode(layoutMode);
    relayout();
}

void ItemsArea::setColumnCount(int columnCount, bool animated) {
    columnCount = std::max(1, columnCount);
    if (std::exchange(columnCount_, columnCount) == columnCount)
        return;
    QHash<QUuid, QRect> from;
    if (animated && Animations::enabled() && layoutMode_ == ItemLayoutMode::grid) {
        for (auto it = cards_.cbegin(); it != cards_.cend(); ++it)
            from.insert(it.key(), it.value()->geometry());
    }
    relayout();
    if (!from.isEmpty())
        moveCards(from);
}

// The cards that were in view glide from where they stood to their new places.
void ItemsArea::moveCards(const QHash<QUuid, QRect>& from) {
    struct Path {
        QPointer<ItemCard> card;
        QRect start;
        QRect end;
    };
    QList<Path> paths;
    for (auto it = cards_.cbegin(); it != cards_.cend(); ++it) {
        const auto start = from.constFind(it.key());
        if (start != from.cend() && *start != it.value()->geometry())
            paths.append({it.value(), *start, it.value()->geometry()});
    }
    if (paths.isEmpty())
        return;
    auto* move = new QVariantAnimation(this);
    move->setDuration(cardMoveMs);
    move->setEasingCurve(QEasingCurve::InOutQuad);
    move->setStartValue(0.0);
    move->setEndValue(1.0);
    connect(move, &QVariantAnimation::valueChanged, this, [paths](const QVariant& value) {
        const qreal t = value.toReal();
        const auto mix = [t](int a, int b) { return qRound(a + (b - a) * t); };
        for (const Path& path : paths) {
            if (path.card)
                path.card->setGeometry(mix(path.start.x(), path.end.x()),
                                       mix(path.start.y(), path.end.y()),
                                       mix(path.start.width(), path.end.width()),
                                       mix(path.start.height(), path.end.height()));
        }
    });
    for (const Path& path : paths)
        path.card->setGeometry(path.start);
    connect(move, &QVariantAnimation::finished, this, &ItemsArea::followPointer);
    cardMove_ = move;
    move->start(QAbstractAnimation::DeleteWhenStopped);
}

// Any new arrangement puts the cards straight where they belong.
void ItemsArea::stopMovingCards() {
    if (QVariantAnimation* move = std::exchange(cardMove_, nullptr)) {
        move->disconnect(this);
        move->stop();
    }
}

void ItemsArea::rebuild() {
    const QList<KippetItem> items = kippet_ ? kippet_->items() : QList<KippetItem>();
    if (items.isEmpty() && !emptyState_) {
        emptyState_ = new ItemsEmptyStateView(viewport());
        emptyState_->show();
    } else if (!items.isEmpty() && emptyState_) {
        delete emptyState_;
        emptyState_ = nullptr;
    }

    QHash<QString, CategorySection*> previous;
    for (CategorySection* section : std::as_const(sections_))
        previous.insert(section->title(), section);
    sections_.clear();
    for (const ItemStack& stack : ItemSections::displayStacks(items)) {
        CategorySection* section = previous.take(stack.displayName());
        if (section) {
            section->setStack(stack);
        } else {
            section = new CategorySection(stack, viewport());
            section->show();
        }
        sections_.append(section);
    }
    // The cards still wanted move to their new sections first; the rest go with the old ones.
    relayout();
    for (CategorySection* gone : std::as_const(previous)) {
        for (ItemCard* card : gone->findChildren<ItemCard*>(Qt::FindDirectChildrenOnly))
            cards_.remove(card->item().id);
        gone->hide();
        gone->deleteLater();
    }
    followPointer();
}

bool ItemsArea::viewportEvent(QEvent* event) {
    const bool handled = QAbstractScrollArea::viewportEvent(event);
    if (event->type() == QEvent::Resize)
        relayout();
    else if (event->type() == QEvent::Leave)
        followPointer();
    return handled;
}

void ItemsArea::relayout() {
    if (arranging_)
        return;
    stopMovingCards();
    arranging_ = true;
    const int width = viewport()->width();
    const int inner = std::max(1, width - 2 * horizontalPadding);
    QList<std::pair<QWidget*, QRect>> placed;
    int y = verticalPadding;
    auto place = [&](QWidget* widget, int height) {
        if (!placed.isEmpty())
            y += spacing;
        placed.append({widget, QRect(horizontalPadding, y, inner, height)});
        y += height;
    };
    if (noteCard_)
        place(noteCard_, heightOf(noteCard_, inner));
    if (todoCard_)
        place(todoCard_, heightOf(todoCard_, inner));
    place(layoutRow_, layoutRowHeight);
    if (emptyState_) {
        // An empty kippet says so in view: where its whole empty state would reach below the
        // fold (the cards above it take most of a new window), it leaves out its symbol and
        // keeps its texts close.
        const int top = y + spacing;
        emptyState_->setCompact(top + emptyState_->heightFor(inner, false) > viewport()->height());
        place(emptyState_, heightOf(emptyState_, inner));
    }
    sectionTops_.clear();
    for (CategorySection* section : std::as_const(sections_)) {
        section->arrange(layoutMode_, columnCount_, inner);
        place(section, section->contentHeight());
        sectionTops_.append(placed.last().second.top());
    }
    contentHeight_ = y + verticalPadding;

    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, contentHeight_ - viewport()->height()));
    const int offset = bar->value();
    for (const auto& [widget, rect] : std::as_const(placed))
        widget->setGeometry(rect.translated(0, -offset));
    arranging_ = false;
    materialize();
}

void ItemsArea::scrollContentsBy(int dx, int dy) {
    if (arranging_)
        return;
    stopMovingCards();
    viewport()->scroll(dx, dy);
    materialize();
}

void ItemsArea::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    relayout();
}

void ItemsArea::materialize() {
    // Nothing is made for a size the area does not show at.
    if (!isVisible())
        return;
    const int offset = verticalScrollBar()->value();
    const int top = offset - overscan;
    const int bottom = offset + viewport()->height() + overscan;
    QSet<QUuid> wanted;
    for (qsizetype s = 0; s < sections_.size(); ++s) {
        CategorySection* section = sections_[s];
        const int sectionTop = sectionTops_.value(s);
        if (sectionTop > bottom || sectionTop + section->contentHeight() < top)
            continue;
        const auto [from, to] = section->cardsBetween(top - sectionTop, bottom - sectionTop);
        for (int index = from; index < to; ++index) {
            const KippetItem& item = section->stack().items[index];
            wanted.insert(item.id);
            ItemCard* card = cards_.value(item.id);
            if (!card) {
                card = new ItemCard(item, kippet_, layoutMode_, thumbnails_, section);
                cards_.insert(item.id, card);
                emit cardCreated(card);
            } else {
                if (card->parentWidget() != section)
                    card->setParent(section);
                card->setItem(item);
                card->setLayoutMode(layoutMode_);
            }
            card->setGeometry(section->cardRect(index));
            if (card->isHidden())
                card->show();
        }
    }
    for (auto it = cards_.begin(); it != cards_.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        // It may be the card whose button is being pressed.
        it.value()->hide();
        it.value()->deleteLater();
        it = cards_.erase(it);
    }
    followPointer();
}

// Cards scroll and glide under a pointer that stands still, and the window system tells
// nothing until it moves.
void ItemsArea::followPointer() {
    for (QWidget* top : {noteCard_.data(), todoCard_.data()}) {
        if (auto* card = qobject_cast<KippetCardFrame*>(top))
            card->followPointer();
    }
    for (ItemCard* card : std::as_const(cards_))
        card->followPointer();
}
