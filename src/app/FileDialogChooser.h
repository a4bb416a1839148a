#pragma once

#include "analysis/FileChooser.h"

#include <QFileDialog>

// Asks the user for files with a file dialog: several files, no folders, no filter or title of
// its own. It opens in the user's home folder the first time, then in the folder of the last
// files chosen (kept in the preferences, so also across launches). The dialog is modeless and
// never blocks the event loop; the call ends when the user confirms or cancels. The app installs
// one for its lifetime with FileChooser::install; tests pass QFileDialog::DontUseNativeDialog to
// drive the dialog.
class FileDialogChooser : public FileChooser {
public:
    explicit FileDialogChooser(QFileDialog::Options options = {});

    QCoro::Task<std::optional<QList<QUrl>>> chooseFiles() override;

private:
    static inline const QString lastFolderKey = QStringLiteral("file_chooser_last_folder");

    // Where the next dialog opens.
    static QString startFolder();
    static void rememberFolderOf(const QList<QUrl>& chosen);

    QFileDialog::Options options_;
};
