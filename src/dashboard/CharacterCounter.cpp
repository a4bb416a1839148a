#include "dashboard/CharacterCounter.h"

#include "ui/Theme.h"

#include <QEvent>

CharacterCounter::CharacterCounter(qsizetype limit, QWidget* parent)
    : QLabel(parent), limit_(limit) {
    setFont(Theme::font(Theme::TextStyle::caption));
    setTextFormat(Qt::PlainText);
    setCount(0);
}

void CharacterCounter::setCount(qsizetype count) {
    if (count_ == count)
        return;
    count_ = count;
    setText(QStringLiteral("%1/%2").arg(count_).arg(limit_));
    refresh();
}

QColor CharacterCounter::color() const {
    return isWarning() ? Theme::orange()
                       : Theme::secondary(parentWidget() ? parentWidget()->palette() : palette());
}

void CharacterCounter::refresh() {
    QPalette colored = palette();
    colored.setColor(QPalette::WindowText, color());
    setPalette(colored);
}

void CharacterCounter::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::ParentChange)
        refresh();
}
