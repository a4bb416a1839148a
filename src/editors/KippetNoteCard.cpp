#include "editors/KippetNoteCard.h"

#include "editors/EditorStyle.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/RelativeTime.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QFont& bodyFont() {
    static const QFont font = Theme::systemFont(13);
    return font;
}
} // namespace

KippetNoteCard::KippetNoteCard(Kippet* kippet, std::function<void()> onTap, QWidget* parent)
    : KippetCardFrame(kippet, parent), onTap_(std::move(onTap)) {
    setObjectName(QStringLiteral("KippetNoteCard"));
    setToolTip(QStringLiteral("Click to edit note"));
    setAttribute(Qt::WA_Hover);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(padding, padding, padding, padding);
    stack->setSpacing(12);
    stack->addWidget(makeHeader());

    body_ = new QLabel;
    body_->setObjectName(QStringLiteral("NoteCardText"));
    body_->setTextFormat(Qt::PlainText);
    body_->setFont(bodyFont());
    body_->setContentsMargins(0, 0, 0, 4);
    body_->setAttribute(Qt::WA_TransparentForMouseEvents);
    stack->addWidget(body_);
    placeholder_ = new QLabel(QStringLiteral("Click the edit button to add notes..."));
    placeholder_->setObjectName(QStringLiteral("NoteCardPlaceholder"));
    placeholder_->setFont(bodyFont());
    placeholder_->setContentsMargins(0, 16, 0, 16);
    placeholder_->setAttribute(Qt::WA_TransparentForMouseEvents);
    stack->addWidget(placeholder_);

    if (kippet_)
        connect(kippet_, &Kippet::noteChanged, this, &KippetNoteCard::updateNote);
    updateLook();
    updateNote();
}

QWidget* KippetNoteCard::makeHeader() {
    auto* header = new QWidget;
    header->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    symbol_ = new QLabel;
    title_ = new QLabel(QStringLiteral("Note"));
    title_->setObjectName(QStringLiteral("NoteCardTitle"));
    title_->setFont(Theme::systemFont(13, QFont::DemiBold));
    age_ = new QLabel;
    age_->setObjectName(QStringLiteral("NoteCardAge"));
    age_->setFont(Theme::systemFont(10));
    row->addWidget(symbol_);
    row->addWidget(title_);
    row->addWidget(age_);
    row->addStretch(1);
    editButton_ = new QToolButton(this);
    editButton_->setObjectName(QStringLiteral("EditNoteButton"));
    editButton_->setToolTip(QStringLiteral("Edit Note"));
    editButton_->setAutoRaise(true);
    editButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    connect(editButton_, &QToolButton::clicked, this, [this] {
        if (onTap_)
            onTap_();
    });
    row->addWidget(editButton_);
    return header;
}

QStringList KippetNoteCard::shownLines(const QString& text, const QFont& font, int width) {
    struct Line {
        QString text;
    };
    QList<Line> lines;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size() && lines.size() <= maxLines; ++p) {
        QTextLayout layout(paragraphs[p], font);
        layout.beginLayout();
        bool any = false;
        for (QTextLine line = layout.createLine(); line.isValid() && lines.size() <= maxLines;
             line = layout.createLine()) {
            any = true;
            line.setLineWidth(std::max(1, width));
            lines.append({paragraphs[p].mid(line.textStart(), line.textLength())});
        }
        layout.endLayout();
        if (!any)
            lines.append({QString()});
    }
    QStringList shown;
    for (qsizetype i = 0; i < std::min<qsizetype>(lines.size(), maxLines); ++i)
        shown.append(lines[i].text);
    if (lines.size() > maxLines) {
        // The last line shown ends in an ellipsis: more of the note follows.
        const QString last = lines[maxLines - 1].text.trimmed() + QChar(0x2026);
        shown.last() = QFontMetricsF(font).elidedText(last, Qt::ElideRight, std::max(1, width));
    }
    return shown;
}

QStringList KippetNoteCard::lines() const {
    return showsPlaceholder() ? QStringList() : body_->text().split(QLatin1Char('\n'));
}

bool KippetNoteCard::showsPlaceholder() const {
    return text_.isEmpty();
}

QString KippetNoteCard::ageText() const {
    return age_->isHidden() ? QString() : age_->text();
}

void KippetNoteCard::updateNote() {
    text_ = kippet_ ? kippet_->note().text : QString();
    // Exactly the empty text: a space is a note too.
    const bool empty = text_.isEmpty();
    placeholder_->setVisible(empty);
    body_->setVisible(!empty);
    age_->setVisible(!empty);
    updateAge();
    layoutText();
}

void KippetNoteCard::updateLook() {
    const qreal ratio = devicePixelRatioF();
    symbol_->setPixmap(
        Symbols::pixmap(SymbolNames::noteText, 13, Theme::secondary(palette()), ratio));
    editButton_->setIcon(
        QIcon(Symbols::pixmap(SymbolNames::pencilCircleFill, 16, accent(), ratio)));
    editButton_->setIconSize(QSize(18, 18));
    QPalette tertiary = age_->palette();
    tertiary.setColor(QPalette::WindowText, Theme::tertiary(palette()));
    age_->setPalette(tertiary);
    placeholder_->setPalette(tertiary);
    update();
}

void KippetNoteCard::updateAge() {
    if (!kippet_ || text_.isEmpty())
        return;
    const QString age = RelativeTime::abbreviated(kippet_->note().updatedAt, Clock::shared().now());
    if (age_->text() != age)
        age_->setText(age);
}

void KippetNoteCard::layoutText() {
    if (text_.isEmpty())
        return;
    // The text's own width: inside the card's padding.
    const int textWidth = width() - 2 * padding;
    body_->setText(shownLines(text_, bodyFont(), textWidth).join(QLatin1Char('\n')));
}

void KippetNoteCard::paintEvent(QPaintEvent* event) {
    // The age is worked out afresh whenever the card is drawn; nothing refreshes it on a timer.
    updateAge();
    KippetCardFrame::paintEvent(event);
}

void KippetNoteCard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutText();
}

void KippetNoteCard::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void KippetNoteCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && std::exchange(pressed_, false) &&
        rect().contains(event->position().toPoint()) && onTap_)
        onTap_();
}
