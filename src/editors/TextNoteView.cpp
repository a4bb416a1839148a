#include "editors/TextNoteView.h"

#include "app/WindowLevel.h"
#include "editors/EditorStyle.h"
#include "model/Utf8.h"
#include "ui/Theme.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace {
// The sheet's prominent button: filled with the accent colour, its title in white.
void styleProminent(QPushButton* button) {
    const QColor accent = button->palette().color(QPalette::Highlight);
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                                         " border-radius: 5px; padding: 3px 12px; }"
                                         "QPushButton:pressed { background: %2; }")
                              .arg(accent.name(), accent.darker(115).name()));
}
} // namespace

TextNoteView::TextNoteView(const KippetItem& item, QWidget* parent)
    : QDialog(parent), text_(textOf(item)) {
    setObjectName(QStringLiteral("TextNoteView"));
    setWindowTitle(QStringLiteral("Text Note"));
    setWindowModality(Qt::WindowModal);
    WindowLevel::makeModal(this);
    setFixedSize(fixedWidth, fixedHeight);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(makeHeader());
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    stack->addWidget(divider);

    textLabel_ = new QLabel;
    textLabel_->setObjectName(QStringLiteral("TextNoteText"));
    // Shown as it is: never read as markup.
    textLabel_->setTextFormat(Qt::PlainText);
    textLabel_->setText(text_);
    textLabel_->setWordWrap(true);
    textLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    textLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    textLabel_->setFont(Theme::systemFont(13));
    const int padding = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    textLabel_->setContentsMargins(padding, padding, padding, padding);
    scrollArea_ = new QScrollArea;
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea_->setWidget(textLabel_);
    stack->addWidget(scrollArea_, 1);
}

QString TextNoteView::textOf(const KippetItem& item) {
    return decodeUtf8(item.content).value_or(QString());
}

QWidget* TextNoteView::makeHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    auto* title = new QLabel(QStringLiteral("Text Note"));
    title->setObjectName(QStringLiteral("TextNoteTitle"));
    title->setFont(Theme::systemFont(13, QFont::DemiBold));
    row->addWidget(title);
    row->addStretch(1);
    copyButton_ = new QPushButton(QStringLiteral("Copy"));
    copyButton_->setAutoDefault(false);
    connect(copyButton_, &QPushButton::clicked, this, &TextNoteView::copy);
    row->addWidget(copyButton_);
    doneButton_ = new QPushButton(QStringLiteral("Done"));
    doneButton_->setObjectName(QStringLiteral("TextNoteDone"));
    styleProminent(doneButton_);
    // Filled, it still stands as tall as the plain button beside it.
    doneButton_->setMinimumHeight(copyButton_->sizeHint().height());
    // Return anywhere in the viewer closes it.
    doneButton_->setDefault(true);
    connect(doneButton_, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(doneButton_);
    return header;
}

void TextNoteView::copy() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // The whole text replaces whatever was there, of any type; never just the selection.
    clipboard->clear();
    auto* data = new QMimeData;
    data->setText(text_);
    clipboard->setMimeData(data);
}
