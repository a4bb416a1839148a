#include "tuck/TuckAwayPanel.h"

#include "app/AppearancePalette.h"
#include "model/Kippet.h"
#include "tuck/TuckAwayKippetRow.h"
#include "tuck/TuckAwayStyle.h"
#include "tuck/TuckAwayWindow.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
QWidget* divider(QWidget* parent) {
    auto* holder = new QWidget(parent);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(8, 0, 8, 0);
    auto* line = new QFrame(holder);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setForegroundRole(QPalette::Mid);
    layout->addWidget(line);
    return holder;
}
} // namespace

TuckAwayPanel::TuckAwayPanel(QWidget* parent)
    : QWidget(parent), title_(new QLabel(QStringLiteral("Tucked Kippets"), this)),
      scroll_(new QScrollArea(this)), list_(new QWidget), listLayout_(new QVBoxLayout(list_)),
      empty_(new QLabel(QStringLiteral("No active kippets"), this)),
      untuckAll_(new QPushButton(QStringLiteral("Show All Kippets"), this)) {
    setFixedWidth(width);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 12, 12, 8);
    title_->setFont(Theme::font(Theme::TextStyle::headline));
    header->addWidget(title_);
    header->addStretch();
    column->addLayout(header);
    column->addWidget(divider(this));

    listLayout_->setContentsMargins(0, 4, 0, 4);
    listLayout_->setSpacing(2);
    scroll_->setWidget(list_);
    // The scroll area paints what it holds; the panel's fill must show through instead.
    list_->setAutoFillBackground(false);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    scroll_->setAutoFillBackground(false);
    column->addWidget(scroll_);

    empty_->setFont(Theme::font(Theme::TextStyle::subheadline));
    empty_->setAlignment(Qt::AlignCenter);
    // The padding is its holder's: a label's own margins are its frame's, and the label loses
    // them when its frame is worked out again.
    emptyHolder_ = new QWidget(this);
    auto* padded = new QVBoxLayout(emptyHolder_);
    padded->setContentsMargins(0, 16, 0, 16);
    padded->addWidget(empty_);
    column->addWidget(emptyHolder_);
    column->addWidget(divider(this));

    untuckAll_->setObjectName(QStringLiteral("UntuckAllButton"));
    untuckAll_->setFlat(true);
    untuckAll_->setFont(Theme::font(Theme::TextStyle::subheadline));
    untuckAll_->setCursor(Qt::PointingHandCursor);
    untuckAll_->setFocusPolicy(Qt::NoFocus);
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(12, 8, 12, 8);
    footer->addWidget(untuckAll_);
    column->addLayout(footer);
    connect(untuckAll_, &QPushButton::clicked, this, [this] {
        if (!onUntuck)
            return;
        const TuckAwayWindow::CallbackScope scope;
        const std::function<void()> untuck = onUntuck;
        untuck();
    });
    applyColours();
    updateListHeight();
}

void TuckAwayPanel::setCutout(bool cutoutEnabled) {
    cutout_ = cutoutEnabled;
    applyColours();
}

void TuckAwayPanel::applyColours() {
    // The cut-out panel is black in either appearance, so what it holds is drawn dark.
    QPalette colours = cutout_ ? darkAppearancePalette() : QApplication::palette();
    const QColor text = TuckAwayStyle::foreground(cutout_, colours);
    colours.setColor(QPalette::WindowText, text);
    colours.setColor(QPalette::ButtonText, text);
    setPalette(colours);
    QPalette secondary = colours;
    secondary.setColor(QPalette::WindowText, Theme::secondary(colours));
    empty_->setPalette(secondary);
    untuckAll_->setIcon(Symbols::icon(SymbolNames::arrowUpLeftAndArrowDownRight, text));
}

void TuckAwayPanel::setKippets(const QList<QPointer<Kippet>>& kippets, bool cutoutEnabled,
                               bool monochromeIcons) {
    if (cutoutEnabled != cutout_)
        setCutout(cutoutEnabled);
    // A row may be where the event that asked for new rows came from.
    for (TuckAwayKippetRow* row : std::as_const(rows_)) {
        listLayout_->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    rows_.clear();
    for (const QPointer<Kippet>& kippet : kippets) {
        if (!kippet)
            continue;
        auto* row = new TuckAwayKippetRow(kippet, cutoutEnabled, monochromeIcons, list_);
        const QPointer<Kippet> guarded = kippet;
        row->onTap = [this, guarded] {
            if (guarded && onFocusKippet) {
                const std::function<void(Kippet*)> focus = onFocusKippet;
                focus(guarded);
            }
        };
        row->onKippetClosed = [this] {
            if (onKippetClosed)
                onKippetClosed();
        };
        connect(row, &TuckAwayKippetRow::heightChanged, this, &TuckAwayPanel::updateListHeight);
        listLayout_->addWidget(row);
        row->show();
        rows_.append(row);
    }
    scroll_->setVisible(!rows_.isEmpty());
    emptyHolder_->setVisible(rows_.isEmpty());
    updateListHeight();
}

void TuckAwayPanel::updateListHeight() {
    // Measured afresh: a list laid out for taller rows would stretch the rows it holds now.
    listLayout_->invalidate();
    listLayout_->activate();
    const int wanted = list_->sizeHint().height();
    scroll_->setFixedHeight(std::min(wanted, maximumListHeight));
    if (QLayout* own = layout())
        own->activate();
    resize(sizeHint());
    emit heightChanged();
}

QSize TuckAwayPanel::sizeHint() const {
    return {width, layout() ? layout()->sizeHint().height() : 0};
}
