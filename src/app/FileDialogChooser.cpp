#include "app/FileDialogChooser.h"
#include "app/WindowLevel.h"
#include "platform/Preferences.h"

#include <QCoroSignal>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

FileDialogChooser::FileDialogChooser(QFileDialog::Options options) : options_(options) {}

QCoro::Task<std::optional<QList<QUrl>>> FileDialogChooser::chooseFiles() {
    // No parent: the dialog stands on its own and stays until the user answers it.
    QPointer<QFileDialog> dialog = new QFileDialog();
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setOptions(options_);
    // Without a folder of its own the dialog would open in the process's working folder.
    dialog->setDirectory(startFolder());
    dialog->setWindowModality(Qt::NonModal);
    WindowLevel::makeModal(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();

    const std::optional<int> result = co_await qCoro(dialog.data(), &QFileDialog::finished);
    if (!dialog)
        co_return std::nullopt;
    std::optional<QList<QUrl>> chosen;
    if (result == QDialog::Accepted) {
        chosen = dialog->selectedUrls();
        rememberFolderOf(*chosen);
    }
    dialog->deleteLater();
    co_return chosen;
}

QString FileDialogChooser::startFolder() {
    const std::optional<QString> last = Preferences::shared().stringValue(lastFolderKey);
    // A folder removed or unmounted since is no place to start.
    if (last && !last->isEmpty() && QFileInfo(*last).isDir())
        return *last;
    return QDir::homePath();
}

void FileDialogChooser::rememberFolderOf(const QList<QUrl>& chosen) {
    if (chosen.isEmpty() || !chosen.first().isLocalFile())
        return;
    Preferences::shared().setString(lastFolderKey,
                                    QFileInfo(chosen.first().toLocalFile()).absolutePath());
}
