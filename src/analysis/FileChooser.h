#pragma once

#include <QCoroTask>
#include <QList>
#include <QUrl>
#include <optional>

// Where the import asks the user for files: several may be chosen, folders not. The window
// installs one that shows a file dialog; tests install one that answers at once.
class FileChooser {
public:
    virtual ~FileChooser() = default;

    static FileChooser& shared();
    static void install(FileChooser* chooser);

    // The chosen files in the dialog's order; nothing when the user cancelled.
    virtual QCoro::Task<std::optional<QList<QUrl>>> chooseFiles() = 0;
};
