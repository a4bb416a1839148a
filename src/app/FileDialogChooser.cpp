#include "app/FileDialogChooser.h"
#include "app/WindowLevel.h"

#include <QCoroSignal>
#include <QPointer>

FileDialogChooser::FileDialogChooser(QFileDialog::Options options) : options_(options) {}

QCoro::Task<std::optional<QList<QUrl>>> FileDialogChooser::chooseFiles() {
    // No parent: the dialog stands on its own and stays until the user answers it.
    QPointer<QFileDialog> dialog = new QFileDialog();
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setOptions(options_);
    dialog->setWindowModality(Qt::NonModal);
    WindowLevel::makeModal(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();

    const std::optional<int> result = co_await qCoro(dialog.data(), &QFileDialog::finished);
    if (!dialog)
        co_return std::nullopt;
    std::optional<QList<QUrl>> chosen;
    if (result == QDialog::Accepted)
        chosen = dialog->selectedUrls();
    dialog->deleteLater();
    co_return chosen;
}
