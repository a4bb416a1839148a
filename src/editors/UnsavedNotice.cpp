#include "editors/UnsavedNotice.h"

#include "editors/EditorStyle.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace {
constexpr double symbolPoints = 12;
} // namespace

UnsavedNotice::UnsavedNotice(QWidget* parent)
    : QWidget(parent), symbol_(new QLabel), text_(new QLabel) {
    text_->setObjectName(QStringLiteral("UnsavedNoticeText"));
    text_->setWordWrap(true);
    text_->setFont(Theme::font(Theme::TextStyle::footnote));
    text_->setTextFormat(Qt::PlainText);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(symbol_, 0, Qt::AlignTop);
    layout->addWidget(text_, 1);
    applyColours();
    hide();
}

void UnsavedNotice::setText(const QString& text) {
    text_->setText(text);
    setVisible(!text.isEmpty());
}

QString UnsavedNotice::text() const {
    return text_->text();
}

void UnsavedNotice::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        applyColours();
}

void UnsavedNotice::applyColours() {
    const QPalette base = parentWidget() ? parentWidget()->palette() : palette();
    symbol_->setPixmap(EditorStyle::symbol(SymbolNames::exclamationmarkTriangleFill, symbolPoints,
                                           Theme::color(Theme::Named::orange, base), this));
    QPalette palette = text_->palette();
    palette.setColor(QPalette::WindowText, Theme::primary(base));
    text_->setPalette(palette);
}
