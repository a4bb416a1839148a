#include "onboarding/KeyCaptureField.h"

#include "analysis/PerceivedText.h"
#include "onboarding/TourStyle.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

KeyCaptureField::KeyCaptureField(const Look& look, QWidget* parent) : QWidget(parent), look_(look) {
    setFocusPolicy(Qt::StrongFocus);
    // Input methods deliver composed letters (an accent and a vowel) as commits.
    setAttribute(Qt::WA_InputMethodEnabled);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setAcceptDrops(false);
    setCursor(Qt::IBeamCursor);
    setFont(look.font);
}

std::optional<QString> KeyCaptureField::capture(const QString& typed) {
    const QString key = typed.toLower();
    if (key.isEmpty() || PerceivedText::length(key) != 1) {
        return std::nullopt;
    }
    for (const char32_t code : key.toUcs4()) {
        if (QChar::isLetterOrNumber(code) || QChar::isMark(code)) {
            return key;
        }
    }
    return std::nullopt;
}

void KeyCaptureField::setText(const QString& text) {
    if (text_ != text) {
        text_ = text;
        update();
    }
}

void KeyCaptureField::take(const QString& typed) {
    if (const std::optional<QString> key = capture(typed)) {
        emit keyAccepted(*key);
    }
}

bool KeyCaptureField::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claims the key, so no shortcut of the application fires for it.
        event->accept();
        return true;
    case QEvent::KeyPress:
        // Tab and Backtab come here too: QWidget would move the focus before keyPressEvent.
        take(static_cast<QKeyEvent*>(event)->text());
        event->accept();
        return true;
    case QEvent::KeyRelease:
        event->accept();
        return true;
    case QEvent::InputMethod: {
        const QString commit = static_cast<QInputMethodEvent*>(event)->commitString();
        if (!commit.isEmpty()) {
            take(commit);
        }
        event->accept();
        return true;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        update();
        return QWidget::event(event);
    default:
        return QWidget::event(event);
    }
}

QVariant KeyCaptureField::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return QRect(look_.padding, look_.padding, 1, height() - 2 * look_.padding);
    case Qt::ImSurroundingText:
        return text_;
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
        return text_.size();
    default:
        return QWidget::inputMethodQuery(query);
    }
}

void KeyCaptureField::mousePressEvent(QMouseEvent* event) {
    // Any button only focuses the field: a middle click pastes nothing.
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

QSize KeyCaptureField::sizeHint() const {
    const QFontMetrics metrics(font());
    const int width = qMax(metrics.horizontalAdvance(look_.placeholder), metrics.height());
    return {width + 2 * look_.padding + 2, metrics.height() + 2 * look_.padding};
}

void KeyCaptureField::paintEvent(QPaintEvent*) {
    using Theme::Named;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), look_.cornerRadius, look_.cornerRadius);
    const QColor background = look_.accentBackground
                                  ? Theme::withAlpha(Theme::color(Named::accent, palette()), 0.1)
                                  : palette().color(QPalette::Base);
    painter.fillPath(shape, background);
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::color(Named::accent, palette()), 0.6), 2));
        painter.drawPath(shape);
    }

    const QRect inner =
        rect().adjusted(look_.padding, look_.padding, -look_.padding, -look_.padding);
    const bool empty = text_.isEmpty();
    painter.setPen(empty ? Theme::color(Named::secondary, palette())
                         : Theme::color(Named::primary, palette()));
    const QString shown = empty ? look_.placeholder : text_;
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(shown, Qt::ElideRight, inner.width()));
    if (hasFocus()) {
        // The insertion point after the text, as a field with the focus shows it.
        const qreal x = inner.left() + (empty ? 0 : fontMetrics().horizontalAdvance(text_)) + 1;
        painter.setPen(QPen(Theme::color(Named::primary, palette()), 1));
        painter.drawLine(QPointF(x, inner.top() + 1), QPointF(x, inner.bottom() - 1));
    }
}
