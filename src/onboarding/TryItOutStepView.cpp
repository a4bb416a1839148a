#include "onboarding/TryItOutStepView.h"

#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "model/KippetNote.h"
#include "model/OnboardingState.h"
#include "onboarding/ConfettiWindow.h"
#include "onboarding/DemoTaskRow.h"
#include "onboarding/RoundedPanel.h"
#include "onboarding/StepHeader.h"
#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "platform/Clock.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/ScreenProvider.h"
#include "store/KippetManager.h"
#include "ui/PopTransition.h"
#include "ui/SymbolNames.h"

#include <QLabel>

using Theme::Named;
using Theme::TextStyle;

namespace {
// The padding a card or a line gets when no other is named.
constexpr int defaultPadding = 16;
const QString demoLink = QStringLiteral("https://example.com/");

QWidget* padded(QWidget* child, QWidget* parent) {
    auto* box = new QWidget(parent);
    QHBoxLayout* row = plainRow(box);
    row->setContentsMargins(defaultPadding, 0, defaultPadding, 0);
    row->addWidget(child);
    return box;
}

QLabel* text(const QString& content, TextStyle style, bool secondary, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    TourStyle::applyText(label, style, secondary);
    return label;
}

QList<KippetItem> demoItems(const QDateTime& now) {
    KippetItem document;
    document.id = QUuid::createUuid();
    document.type = KippetItemType::file;
    document.content = QStringLiteral("Sample Document").toUtf8();
    document.category = ItemCategory::notes;
    document.addedDate = now;
    document.metadata.name = QStringLiteral("Sample Document.pdf");
    document.metadata.fileExtension = QStringLiteral("pdf");
    document.metadata.aiDescription = QStringLiteral("A sample document for demonstration");

    KippetItem link;
    link.id = QUuid::createUuid();
    link.type = KippetItemType::url;
    link.content = demoLink.toUtf8();
    link.category = ItemCategory::links;
    link.addedDate = now;
    link.metadata.name = QStringLiteral("Example Website");
    link.metadata.urlString = demoLink;
    link.metadata.aiDescription = QStringLiteral("An example website");
    return {document, link};
}
} // namespace

const QList<TryItOutStepView::Task>& TryItOutStepView::tasks() {
    static const QList<Task> list{
        {"expand", "Press E to expand the demo kippet", "DemoKippetExpanded"},
        {"mini", "Press M to switch to mini view", "DemoKippetMiniView"},
        {"paste", "Press V to paste (demo content)", "DemoKippetPaste"},
        {"drag", "Drag the kippet to a new position", "DemoKippetMoved"},
        {"collapse", "Press C to collapse", "DemoKippetCollapsed"},
    };
    return list;
}

TryItOutStepView::TryItOutStepView(OnboardingState* state, QWidget* window, QWidget* parent)
    : QWidget(parent), state_(state), window_(window) {
    StackBuilder stack(plainColumn(this), 16, true);
    stack.add(new StepHeader(QStringLiteral("Try Kippets Risk-Free"),
                             QStringLiteral("Experiment with a demo kippet that won't save any "
                                            "data"),
                             8, 12, this),
              {});
    stack.add(padded(demoCard(), this), {});
    stack.add(padded(menuHint(), this), {});
    stack.add(checklist(), {});
    stack.add(progress(), {});
    completion_ = text(QStringLiteral("🎉 Amazing! You've mastered the basics!"), TextStyle::title3,
                       false, this);
    completion_->setObjectName(QStringLiteral("DemoCompletionMessage"));
    QFont bold = completion_->font();
    bold.setBold(true);
    completion_->setFont(bold);
    QPalette green = completion_->palette();
    green.setColor(QPalette::WindowText, Theme::color(Named::green, green));
    completion_->setPalette(green);
    stack.add(completion_);
    completion_->hide();
    completionPop_ = new PopTransition(
        completion_, TourStyle::easing(TourStyle::Spring::step),
        std::chrono::milliseconds(TourStyle::durationMs(TourStyle::Spring::step)));
    stack.addFlexible();
    QLabel* tip = text(QStringLiteral("💡 Tip: The demo kippet doesn't save data and will be "
                                      "removed when you finish onboarding"),
                       TextStyle::caption, true, this);
    tip->setAlignment(Qt::AlignHCenter);
    tip->setWordWrap(true);
    tip->setContentsMargins(40, 0, 40, 8);
    stack.add(tip, {});

    if (state_) {
        shownCount_ = static_cast<int>(state_->completedTasks().size());
        connect(state_, &OnboardingState::completedTasksChanged, this,
                &TryItOutStepView::showTasks);
    }
    showTasks();
}

QWidget* TryItOutStepView::demoCard() {
    auto* card = new RoundedPanel(this);
    card->setFill(Named::purple, 0.08);
    card->setCornerRadius(12);
    QHBoxLayout* row = plainRow(card);
    row->setContentsMargins(defaultPadding, defaultPadding, defaultPadding, defaultPadding);
    row->setSpacing(12);
    auto* target =
        new SymbolView(SymbolNames::target, Theme::font(TextStyle::title).pixelSize(), card);
    target->setColor(Named::purple);
    row->addWidget(target, 0, Qt::AlignVCenter);

    auto* texts = new QWidget(card);
    QVBoxLayout* column = plainColumn(texts);
    column->setSpacing(4);
    auto* titleRow = new QWidget(texts);
    QHBoxLayout* titleLayout = plainRow(titleRow);
    titleLayout->setSpacing(8);
    titleLayout->addWidget(
        text(QStringLiteral("Demo Kippet"), TextStyle::headline, false, titleRow));
    auto* badge = new RoundedPanel(titleRow);
    badge->setFill(Named::orange, 1.0);
    badge->setCapsule();
    QLabel* demo = text(QStringLiteral("DEMO"), TextStyle::caption2, false, badge);
    QFont bold = demo->font();
    bold.setBold(true);
    demo->setFont(bold);
    demo->setStyleSheet(QStringLiteral("color: white;"));
    QHBoxLayout* badgeRow = plainRow(badge);
    badgeRow->setContentsMargins(8, 4, 8, 4);
    badgeRow->addWidget(demo);
    titleLayout->addWidget(badge, 0, Qt::AlignVCenter);
    titleLayout->addStretch(1);
    column->addWidget(titleRow);
    column->addWidget(text(QStringLiteral("A functional kippet for experimentation"),
                           TextStyle::caption, true, texts));
    row->addWidget(texts, 1);
    return card;
}

QWidget* TryItOutStepView::menuHint() {
    auto* hint = new RoundedPanel(this);
    hint->setFill(Named::blue, 0.08);
    hint->setCornerRadius(8);
    QHBoxLayout* row = plainRow(hint);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(8);
    auto* symbol = new SymbolView(SymbolNames::contextualmenuAndCursorarrow,
                                  Theme::font(TextStyle::title3).pixelSize(), hint);
    symbol->setColor(Named::blue);
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    row->addWidget(text(QStringLiteral("Right-click the demo kippet to access all actions via "
                                       "context menu"),
                        TextStyle::subheadline, true, hint),
                   1, Qt::AlignVCenter);
    return hint;
}

QWidget* TryItOutStepView::checklist() {
    auto* box = new QWidget(this);
    QVBoxLayout* column = plainColumn(box);
    column->setContentsMargins(defaultPadding, 0, defaultPadding, 0);
    StackBuilder stack(column, 8, true);
    QLabel* heading = text(QStringLiteral("Try These Actions"), TextStyle::headline, false, box);
    heading->setContentsMargins(defaultPadding, 0, defaultPadding, 0);
    stack.add(heading, Qt::AlignLeft);
    for (const Task& task : tasks()) {
        auto* row = new DemoTaskRow(QString::fromLatin1(task.identifier),
                                    QString::fromUtf8(task.title), box);
        stack.add(row, {});
        rows_.append(row);
    }
    return box;
}

QWidget* TryItOutStepView::progress() {
    auto* line = new RoundedPanel(this);
    line->setObjectName(QStringLiteral("DemoProgress"));
    line->setFill(Named::yellow, 0.1);
    line->setCornerRadius(8);
    QHBoxLayout* row = plainRow(line);
    row->setContentsMargins(defaultPadding, defaultPadding, defaultPadding, defaultPadding);
    row->setSpacing(8);
    auto* star = new SymbolView(SymbolNames::starFill,
                                Theme::font(TextStyle::subheadline).pixelSize(), line);
    star->setColor(Named::yellow);
    row->addWidget(star, 0, Qt::AlignVCenter);
    progressText_ = text(QString(), TextStyle::subheadline, true, line);
    row->addWidget(progressText_, 0, Qt::AlignVCenter);
    progress_ = line;
    auto* box = new QWidget(this);
    plainRow(box)->addWidget(line, 0, Qt::AlignHCenter);
    return box;
}

Kippet* TryItOutStepView::makeDemoKippet(OnboardingState* state) {
    const QDateTime now = Clock::shared().now();
    auto* kippet =
        new Kippet(QUuid::createUuid(), QStringLiteral("Demo Kippet 🎯"),
                   KippetColor::fromQColor(Theme::orange()), SymbolNames::target, now, state);
    kippet->setIsDemoMode(true);
    kippet->setItems(demoItems(now));
    kippet->setNote(KippetNote::empty(now));
    state->setDemoKippet(kippet);
    // Once per tour, for as long as the tour's state lives: tasks tick on every step, and
    // nothing is left observing once the tour is gone.
    NotificationCenter& center = NotificationCenter::shared();
    for (const Task& task : tasks()) {
        const QString identifier = QString::fromLatin1(task.identifier);
        center.observe(QString::fromLatin1(task.notification), state,
                       [state, identifier](const auto&) { state->markTaskCompleted(identifier); });
    }
    return kippet;
}

void TryItOutStepView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (state_ && !state_->demoKippet()) {
        createDemoKippet();
    }
    // What was ticked while another step was shown counts as seen: no confetti for it.
    if (state_) {
        shownCount_ = static_cast<int>(state_->completedTasks().size());
    }
}

void TryItOutStepView::createDemoKippet() {
    Kippet* kippet = makeDemoKippet(state_);
    KippetManager& manager = KippetManager::shared();
    try {
        manager.addDemoKippet(kippet);
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("Failed to create demo kippet: ") + KippetsError::textOf(error));
        return;
    }
    if (window_) {
        const RectD tour = ScreenProvider::shared().space().fromQt(QRectF(window_->geometry()));
        kippet->setPosition(QPointF(tour.midX() + 450, tour.midY() - 100));
        manager.saveKippet(kippet);
    }
    MenuBarManager::shared().showWindow(kippet);
}

void TryItOutStepView::showTasks() {
    const QSet<QString> done = state_ ? state_->completedTasks() : QSet<QString>();
    for (DemoTaskRow* row : std::as_const(rows_)) {
        row->setDone(done.contains(row->identifier()));
    }
    const int count = static_cast<int>(done.size());
    const int total = static_cast<int>(tasks().size());
    progressText_->setText(
        QStringLiteral("Great! You've completed %1 of %2 tasks").arg(count).arg(total));
    progress_->parentWidget()->setVisible(count > 0);
    completionPop_->setShown(count == total);
    // Only a change seen on screen celebrates, and only the one that completes the list.
    if (isVisible() && shownCount_ < total && count == total) {
        confetti_ = ConfettiWindow::celebrate();
    }
    if (isVisible()) {
        shownCount_ = count;
    }
}

ConfettiWindow* TryItOutStepView::confettiWindow() const {
    return confetti_;
}
