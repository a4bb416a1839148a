#include "editors/NoteFindBar.h"

#include "editors/EditorStyle.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace {
constexpr double cornerRadius = 8;
constexpr double glassPoints = 13;
constexpr double fieldPixels = 13;

bool isReturn(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}
} // namespace

NoteFindBar::NoteFindBar(QPlainTextEdit* text, QWidget* parent)
    : QWidget(parent), text_(text), glass_(new QLabel), field_(new QLineEdit) {
    setObjectName(QStringLiteral("NoteFindBar"));
    setFixedWidth(barWidth);
    field_->setObjectName(QStringLiteral("NoteFindField"));
    field_->setPlaceholderText(QStringLiteral("Find"));
    field_->setFrame(false);
    field_->setFont(Theme::systemFont(fieldPixels));
    EditorStyle::makeTransparent(field_);
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::textEdited, this, [this] { showMatched(true); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 5, 8, 5);
    layout->setSpacing(6);
    layout->addWidget(glass_);
    layout->addWidget(field_, 1);
    applyColours();
    hide();
}

void NoteFindBar::open() {
    show();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void NoteFindBar::dismiss() {
    hide();
    showMatched(true);
    text_->setFocus(Qt::OtherFocusReason);
}

bool NoteFindBar::findMatch(bool backward) {
    const QString needle = field_->text();
    if (needle.isEmpty())
        return false;
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextDocument* document = text_->document();
    QTextCursor found = document->find(needle, text_->textCursor(), flags);
    if (found.isNull()) {
        QTextCursor edge(document);
        edge.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        found = document->find(needle, edge, flags);
    }
    showMatched(!found.isNull());
    if (found.isNull())
        return false;
    text_->setTextCursor(found);
    text_->ensureCursorVisible();
    return true;
}

bool NoteFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != field_ || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (isReturn(*key)) {
        findMatch(key->modifiers().testFlag(Qt::ShiftModifier));
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        dismiss();
        return true;
    }
    return false;
}

void NoteFindBar::showMatched(bool matched) {
    if (matched == matched_)
        return;
    matched_ = matched;
    applyColours();
}

void NoteFindBar::applyColours() {
    const QPalette base = parentWidget() ? parentWidget()->palette() : palette();
    glass_->setPixmap(EditorStyle::symbol(SymbolNames::magnifyingglass, glassPoints,
                                          Theme::secondary(base), this));
    QPalette palette = field_->palette();
    palette.setColor(QPalette::Text,
                     matched_ ? Theme::primary(base) : Theme::color(Theme::Named::red, base));
    field_->setPalette(palette);
}

void NoteFindBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        applyColours();
}

void NoteFindBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    // Opaque: a solid field on the panel's glass, whatever shows behind the panel.
    painter.fillPath(shape, Theme::windowFill(Theme::Material::underWindowBackground, palette(),
                                              Theme::Backdrop::opaque));
    painter.setPen(QPen(Theme::separator(palette()), 1));
    painter.drawPath(shape);
}
