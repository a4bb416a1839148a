#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>

class QMessageBox;
class QWidget;

// Every alert and question the app shows goes through here. The app shows real message boxes;
// a test queues the answers and reads what was shown, so no test ever waits on a modal box.
// GUI thread only.
class Dialogs : public QObject {
    Q_OBJECT
public:
    struct Shown {
        QString title;
        QString text;
        QStringList buttons;
        // The button Return chooses, and the one drawn as destroying something (-1: none).
        int defaultButton = 0;
        int destructiveButton = -1;
    };

    // The environment variable that makes a run of the app record its dialogs instead of
    // showing them, each printed as a log line: "KIPPETS_DIALOGS=record", for tests of the app
    // in a child process, where nobody could answer a box.
    static constexpr const char* recordVariable = "KIPPETS_DIALOGS";

    Dialogs();

    static Dialogs& shared();
    static void install(Dialogs* dialogs);

    // An alert with one "OK" button that does not block: the call returns at once. Over a
    // sheet or another modal window it is modal to that window and takes the keyboard.
    void showAlert(const QString& title, const QString& text, QWidget* parent = nullptr);
    // The same, as an informational alert rather than a warning.
    void showInformation(const QString& title, const QString& text, QWidget* parent = nullptr);
    // The "Error" alert with the error's text; it does not block.
    void showError(const QString& text, QWidget* parent = nullptr);
    // The last alert before the app stops over what it cannot go on with: it does not block, and
    // no other alert or question is shown or recorded from then on. `dismissed` is how the app
    // leaves: it runs once the alert is closed (on the next turn of the event loop when it is
    // only recorded), and again for a quit asked for later (leaveAfterFinalAlert), so it must
    // bear running twice. While the alert shows, Ctrl+Q closes it from any window of the app.
    // Typing under way when it comes never closes it: for its first moment it takes no key, and
    // after that only Return, Enter and Escape close it (the keyboard never presses its button),
    // as does a click.
    void showFinalAlert(const QString& title, const QString& text, std::function<void()> dismissed);
    static constexpr std::chrono::milliseconds finalAlertKeyPause{1500};
    // A quit asked for once the final alert was shown: the app leaves as closing the alert does.
    void leaveAfterFinalAlert();
    // Asks and waits for the answer: the index of the chosen button in `buttons`, or nothing
    // when the box was dismissed.
    std::optional<int> ask(const QString& title, const QString& text, const QStringList& buttons,
                           QWidget* parent = nullptr);

    // Asks whether to do what cannot be undone: `action` is drawn as destroying something,
    // "Cancel" is the default, so Return and Escape both keep everything. Recorded with the
    // buttons {action, "Cancel"}; a queued answer 0 chooses the action. True only then; false
    // without asking once the final alert was shown.
    bool confirmDestructive(const QString& title, const QString& text, const QString& action,
                            QWidget* parent = nullptr);

    // Asks for one line of text in a 300-wide field that shows the placeholder and has the focus;
    // the first button accepts (Return), the second cancels (Escape). The field's text when
    // accepted, else nothing.
    std::optional<QString> askText(const QString& title, const QString& text,
                                   const QString& placeholder, const QStringList& buttons,
                                   QWidget* parent = nullptr);

    // For tests: answer the next questions with these button indexes (nothing: dismissed)
    // instead of showing them; alerts are then recorded and not shown either.
    void queueAnswer(std::optional<int> answer);
    // The same for text questions: the text entered and accepted, or nothing for a cancel.
    void queueTextAnswer(std::optional<QString> answer);
    void setRecordingOnly(bool recordingOnly) { recordingOnly_ = recordingOnly; }
    bool isRecordingOnly() const { return recordingOnly_; }
    // The final alert was shown: the app is on its way out.
    bool isStopping() const { return stopping_; }
    const QList<Shown>& shown() const { return shown_; }
    void clearShown() { shown_.clear(); }

signals:
    void didShow(const Dialogs::Shown& dialog);

private:
    void record(const Shown& dialog);
    std::optional<int> nextAnswer();
    // A non-blocking box with one "OK" button; `icon` is a QMessageBox::Icon.
    void showBox(int icon, const QString& title, const QString& text, QWidget* parent);

    bool recordingOnly_ = false;
    bool printsRecords_ = false;
    bool stopping_ = false;
    std::function<void()> leave_;
    QPointer<QMessageBox> finalAlert_;
    std::deque<std::optional<int>> answers_;
    std::deque<std::optional<QString>> textAnswers_;
    QList<Shown> shown_;
};
