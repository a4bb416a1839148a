#pragma once

#include "analysis/FileChooser.h"

#include <QFileDialog>

// Asks the user for files with a file dialog: several files, no folders, no filter, title or
// start folder of its own. The dialog is modeless and never blocks the event loop; the call
// ends when the user confirms or cancels. The app installs one for its lifetime with
// FileChooser::install; tests pass QFileDialog::DontUseNativeDialog to drive the dialog.
class FileDialogChooser : public FileChooser {
public:
    explicit FileDialogChooser(QFileDialog::Options options = {});

    QCoro::Task<std::optional<QList<QUrl>>> chooseFiles() override;

private:
    QFileDialog::Options options_;
};
