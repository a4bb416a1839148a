#include "app/Dialogs.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
QPointer<Dialogs>& installed() {
    static QPointer<Dialogs> instance;
    return instance;
}
} // namespace

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
    emit didShow(dialog);
}

void Dialogs::showAlert(const QString& title, const QString& text, QWidget* parent) {
    record(Shown{title, text, {QStringLiteral("OK")}});
    if (recordingOnly_ || !answers_.empty())
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void Dialogs::showError(const QString& text, QWidget* parent) {
    showAlert(QStringLiteral("Error"), text, parent);
}

std::optional<int> Dialogs::ask(const QString& title, const QString& text,
                                const QStringList& buttons, QWidget* parent) {
    record(Shown{title, text, buttons});
    if (!answers_.empty()) {
        const std::optional<int> answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    if (recordingOnly_)
        return std::nullopt;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QAbstractButton*> made;
    for (const QString& label : buttons)
        made.append(box.addButton(label, made.isEmpty() ? QMessageBox::AcceptRole
                                                        : QMessageBox::RejectRole));
    box.exec();
    const qsizetype index = made.indexOf(box.clickedButton());
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}

void Dialogs::queueAnswer(std::optional<int> answer) {
    answers_.push_back(answer);
}
