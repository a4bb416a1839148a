#include "editors/TodoEmptyState.h"

#include "editors/EditorStyle.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace {
// The bundled drawing leaves room around its glyph: this draws it as tall as a 40-point symbol.
constexpr double symbolPoints = 54;
constexpr double titlePixels = 11;
constexpr double hintPixels = 10;

void colour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}
} // namespace

TodoEmptyState::TodoEmptyState(QWidget* parent)
    : QWidget(parent), symbol_(new QLabel), title_(new QLabel(QStringLiteral("No todos yet"))),
      hint_(new QLabel(QStringLiteral("Add your first todo above"))) {
    title_->setFont(Theme::systemFont(titlePixels));
    hint_->setFont(Theme::systemFont(hintPixels));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 40, 0, 40);
    layout->setSpacing(12);
    for (QLabel* label : {symbol_, title_, hint_}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    applyColours();
}

void TodoEmptyState::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        applyColours();
}

void TodoEmptyState::applyColours() {
    const QPalette base = parentWidget() ? parentWidget()->palette() : palette();
    const QColor tertiary = Theme::tertiary(base);
    symbol_->setPixmap(EditorStyle::symbol(SymbolNames::checklist, symbolPoints, tertiary, this));
    colour(title_, Theme::secondary(base));
    colour(hint_, tertiary);
}
