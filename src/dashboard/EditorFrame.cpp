#include "dashboard/EditorFrame.h"

#include "dashboard/LimitedTextEdit.h"
#include "dashboard/SheetStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

EditorFrame::EditorFrame(qsizetype limit, QWidget* parent)
    : QWidget(parent), editor_(new LimitedTextEdit(limit, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(editor_);
    editor_->setFrameShape(QFrame::NoFrame);
    editor_->setFont(SheetStyle::font(SheetStyle::TextStyle::body));
    // The field behind it is the background.
    QPalette clear = editor_->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    editor_->setPalette(clear);
    editor_->document()->setDocumentMargin(0);
}

void EditorFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath field;
    field.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(field, palette().color(QPalette::Base));
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7.5, 7.5);
    painter.setPen(QPen(SheetStyle::withAlpha(SheetStyle::secondary(palette()), 0.3), 1));
    painter.drawPath(outline);
}
