#include "app/Dialogs.h"
#include "app/WindowLevel.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "ui/NamedColors.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {
QPointer<Dialogs>& installed() {
    static QPointer<Dialogs> instance;
    return instance;
}

// Titles and texts often carry what a user or a file named: "<b>" in them is three letters.
QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

// The window an alert over `parent` must block: a sheet or another modal window would keep the
// keyboard and take a second answer beneath the alert.
QWidget* modalWindowOf(QWidget* parent) {
    QWidget* window = parent ? parent->window() : nullptr;
    return window && window->isModal() ? window : nullptr;
}

// The keys of the final alert. The alert comes while the user may be typing (a save is what
// meets the damage), so the keys under way must not close it before it is read: for its first
// moment it takes none, and after that only Return, Enter and Escape, which close it. Space
// would press the focused button; no key reaches the button. Copy closes nothing, so it works
// from the start: the alert copies its text as every message box does (the damaged store's
// path is in it).
class FinalAlertKeys : public QObject {
public:
    explicit FinalAlertKeys(QMessageBox* alert) : QObject(alert), alert_(alert) {
        QCoreApplication::instance()->installEventFilter(this);
        Clock::shared().schedule(Dialogs::finalAlertKeyPause, this, [this] { taking_ = true; });
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
            return false;
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != alert_)
            return false;
        if (type == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            copyText();
            return true;
        }
        if (type == QEvent::KeyPress && taking_ &&
            !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)
                alert_->done(QMessageBox::Ok);
        }
        return true;
    }

private:
    // Title, text and buttons between rules, as Qt's message boxes copy themselves.
    void copyText() const {
        const QString rule = QStringLiteral("---------------------------\n");
        QString buttons;
        for (const QAbstractButton* button : alert_->buttons())
            buttons += QString(button->text()).remove(QLatin1Char('&')) + QStringLiteral("   ");
        QGuiApplication::clipboard()->setText(rule + alert_->windowTitle() + u'\n' + rule +
                                              alert_->text() + u'\n' + rule + buttons + u'\n' +
                                              rule);
    }

    QMessageBox* alert_;
    bool taking_ = false;
};

// A question asked as its own title is said once; the title bar then names the app.
QString boxTitle(const QString& title, const QString& text) {
    return title == text ? QStringLiteral("Kippets") : title;
}
} // namespace

Dialogs::Dialogs()
    : recordingOnly_(qEnvironmentVariable(recordVariable) == QLatin1String("record")),
      printsRecords_(recordingOnly_) {}

Dialogs& Dialogs::shared() {
    if (!installed()) {
        static Dialogs dialogs;
        installed() = &dialogs;
    }
    return *installed();
}

void Dialogs::install(Dialogs* dialogs) {
    installed() = dialogs;
}

void Dialogs::record(const Shown& dialog) {
    shown_.append(dialog);
    if (printsRecords_)
        Log::line(QStringLiteral("🪟 [Dialogs] ") + dialog.title + QStringLiteral(": ") +
                  dialog.text);
    emit didShow(dialog);
}

void Dialogs::showAlert(const QString& title, const QString& text, QWidget* parent) {
    showBox(QMessageBox::Warning, title, text, parent);
}

void Dialogs::showInformation(const QString& title, const QString& text, QWidget* parent) {
    showBox(QMessageBox::Information, title, text, parent);
}

void Dialogs::showFinalAlert(const QString& title, const QString& text,
                             std::function<void()> dismissed) {
    if (stopping_)
        return;
    record(Shown{title, text, {QStringLiteral("OK")}});
    stopping_ = true;
    leave_ = std::move(dismissed);
    if (recordingOnly_ || !answers_.empty()) {
        QMetaObject::invokeMethod(this, &Dialogs::leaveAfterFinalAlert, Qt::QueuedConnection);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, title, QString(), QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    for (QAbstractButton* button : box->buttons())
        button->setFocusPolicy(Qt::NoFocus);
    new FinalAlertKeys(box);
    // The alert blocks every other window, and with them the menus' own Ctrl+Q: it answers the
    // quit itself, wherever the keyboard is.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), box);
    quit->setContext(Qt::ApplicationShortcut);
    connect(quit, &QShortcut::activated, box, [box] { box->done(QMessageBox::Ok); });
    WindowLevel::makeModal(box);
    connect(box, &QMessageBox::finished, this, &Dialogs::leaveAfterFinalAlert);
    finalAlert_ = box;
    box->show();
}

void Dialogs::leaveAfterFinalAlert() {
    if (!stopping_)
        return;
    // Closing the alert leaves through its own answer.
    if (finalAlert_ && finalAlert_->isVisible()) {
        finalAlert_->done(QMessageBox::Ok);
        return;
    }
    if (leave_)
        leave_();
}

void Dialogs::showBox(int icon, const QString& title, const QString& text, QWidget* parent) {
    if (stopping_)
        return;
    record(Shown{title, text, {QStringLiteral("OK")}});
    if (recordingOnly_ || !answers_.empty())
        return;
    QWidget* blocked = modalWindowOf(parent);
    auto* box = new QMessageBox(static_cast<QMessageBox::Icon>(icon), title, QString(),
                                QMessageBox::Ok, blocked ? blocked : parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(blocked ? Qt::WindowModal : Qt::NonModal);
    WindowLevel::makeModal(box);
    box->show();
}

void Dialogs::showError(const QString& text, QWidget* parent) {
    showAlert(QStringLiteral("Error"), text, parent);
}

std::optional<int> Dialogs::nextAnswer() {
    const std::optional<int> answer = answers_.front();
    answers_.pop_front();
    return answer;
}

std::optional<int> Dialogs::ask(const QString& title, const QString& text,
                                const QStringList& buttons, QWidget* parent) {
    if (stopping_)
        return std::nullopt;
    record(Shown{title, text, buttons});
    if (!answers_.empty())
        return nextAnswer();
    if (recordingOnly_)
        return std::nullopt;
    QMessageBox box(QMessageBox::Question, boxTitle(title, text), QString(), QMessageBox::NoButton,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    WindowLevel::makeModal(&box);
    QList<QAbstractButton*> made;
    for (const QString& label : buttons)
        made.append(box.addButton(label, made.isEmpty() ? QMessageBox::AcceptRole
                                                        : QMessageBox::RejectRole));
    box.exec();
    const qsizetype index = made.indexOf(box.clickedButton());
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}

bool Dialogs::confirmDestructive(const QString& title, const QString& text, const QString& action,
                                 QWidget* parent) {
    if (stopping_)
        return false;
    const QString cancelLabel = QStringLiteral("Cancel");
    record(Shown{title, text, {action, cancelLabel}, 1, 0});
    if (!answers_.empty())
        return nextAnswer() == 0;
    if (recordingOnly_)
        return false;
    QMessageBox box(QMessageBox::Warning, boxTitle(title, text), QString(), QMessageBox::NoButton,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    WindowLevel::makeModal(&box);
    QPushButton* destroy = box.addButton(action, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(cancelLabel, QMessageBox::RejectRole);
    // Red like every other entry that destroys something.
    QPalette red = destroy->palette();
    red.setColor(QPalette::ButtonText, Theme::red());
    destroy->setPalette(red);
    // Return is Cancel's even after Tab moved to the action: only a click or Space destroys.
    destroy->setAutoDefault(false);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == destroy;
}

std::optional<QString> Dialogs::askText(const QString& title, const QString& text,
                                        const QString& placeholder, const QStringList& buttons,
                                        QWidget* parent) {
    if (stopping_)
        return std::nullopt;
    record(Shown{title, text, buttons});
    if (!textAnswers_.empty()) {
        std::optional<QString> answer = textAnswers_.front();
        textAnswers_.pop_front();
        return answer;
    }
    if (recordingOnly_)
        return std::nullopt;
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("TextQuestion"));
    dialog.setWindowTitle(title);
    WindowLevel::makeModal(&dialog);
    auto* layout = new QVBoxLayout(&dialog);
    auto* heading = plainLabel(title, &dialog);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    layout->addWidget(plainLabel(text, &dialog));
    auto* field = new QLineEdit(&dialog);
    field->setObjectName(QStringLiteral("TextQuestionField"));
    field->setPlaceholderText(placeholder);
    field->setFixedWidth(300);
    layout->addWidget(field);
    auto* box = new QDialogButtonBox(&dialog);
    // The box orders the buttons by role, as the desktop's own dialogs do.
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        QPushButton* button = box->addButton(buttons[i], i == 0 ? QDialogButtonBox::AcceptRole
                                                                : QDialogButtonBox::RejectRole);
        if (i == 0) {
            button->setDefault(true);
            button->setAutoDefault(true);
        } else {
            button->setAutoDefault(false);
        }
    }
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    // An alert has the size of what it says: nothing to resize or maximise.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->text();
}

void Dialogs::queueTextAnswer(std::optional<QString> answer) {
    textAnswers_.push_back(std::move(answer));
}

void Dialogs::queueAnswer(std::optional<int> answer) {
    answers_.push_back(answer);
}
