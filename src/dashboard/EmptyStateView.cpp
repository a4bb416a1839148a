#include "dashboard/EmptyStateView.h"

#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EmptyStateView::EmptyStateView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 40, 0, 0);
    layout->setSpacing(8);
    icon_ = new QLabel(this);
    title_ = new QLabel(this);
    QFont titleFont = Theme::font(Theme::TextStyle::title2, QFont::Bold);
    titleFont.setPixelSize(22);
    title_->setFont(titleFont);
    description_ = new QLabel(this);
    description_->setFont(Theme::font(Theme::TextStyle::body));
    newKippet_ = new QPushButton(QStringLiteral("New Kippet"), this);
    newKippet_->setDefault(true);
    for (QLabel* label : {icon_, title_, description_}) {
        // The title repeats the search as typed: "<i>" is three characters, not italics.
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignHCenter);
        layout->addWidget(label, 0, Qt::AlignHCenter);
    }
    layout->addSpacing(8);
    layout->addWidget(newKippet_, 0, Qt::AlignHCenter);
    connect(newKippet_, &QPushButton::clicked, this, &EmptyStateView::newKippetRequested);
    show(QString());
}

void EmptyStateView::show(const QString& searchText) {
    if (searchText.isEmpty()) {
        symbol_ = SymbolNames::trayFill;
        title_->setText(QStringLiteral("No Kippets"));
        description_->setText(QStringLiteral("Create a new kippet to get started."));
        newKippet_->show();
    } else {
        symbol_ = SymbolNames::magnifyingglass;
        title_->setText(QStringLiteral("No Results for “%1”").arg(searchText));
        description_->setText(QStringLiteral("Check the spelling or try a new search."));
        newKippet_->hide();
    }
    applyIcon();
    QWidget::show();
}

void EmptyStateView::applyIcon() {
    icon_->setPixmap(Theme::symbol(symbol_, Theme::secondary(palette()), 40, devicePixelRatioF()));
    QPalette secondaryText = description_->palette();
    secondaryText.setColor(QPalette::WindowText, Theme::secondary(palette()));
    description_->setPalette(secondaryText);
}

void EmptyStateView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyIcon();
}
