#include "editors/TodoTextLabel.h"

#include "editors/EditorStyle.h"
#include "editors/TodoRowAccessibility.h"
#include "ui/Theme.h"

#include <QMouseEvent>

TodoTextLabel::TodoTextLabel(QWidget* parent) : QLabel(parent) {
    TodoRowAccessibility::install();
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleDescription(QStringLiteral("Activates edit mode"));
}

void TodoTextLabel::showTodo(const QString& text, bool done) {
    setText(text);
    QFont font = Theme::systemFont(fontPixels);
    font.setStrikeOut(done);
    setFont(font);
    QPalette colours = palette();
    const QPalette base = parentWidget() ? parentWidget()->palette() : QPalette();
    colours.setColor(QPalette::WindowText, done ? Theme::secondary(base) : Theme::primary(base));
    setPalette(colours);
    setAccessibleName(text);
}

void TodoTextLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit editRequested();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}
