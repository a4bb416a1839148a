#include "dashboard/EditorFrame.h"

#include "dashboard/LimitedTextEdit.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

EditorFrame::EditorFrame(qsizetype limit, QWidget* parent)
    : QWidget(parent), editor_(new LimitedTextEdit(limit, this)) {
    auto* layout = new QVBoxLayout(this);
    // 8 points around the text: the layout's margin and the document's own.
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(editor_);
    editor_->setFrameShape(QFrame::NoFrame);
    // Lines wrap at the field's width; only a long text scrolls, downwards.
    editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor_->setFont(Theme::font(Theme::TextStyle::body));
    // The field behind it is the background.
    QPalette clear = editor_->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    editor_->setPalette(clear);
    editor_->document()->setDocumentMargin(4);
}

void EditorFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath field;
    field.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(field, palette().color(QPalette::Base));
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7.5, 7.5);
    painter.setPen(QPen(Theme::withAlpha(Theme::secondary(palette()), 0.3), 1));
    painter.drawPath(outline);
}
