#include "analysis/FileChooser.h"

namespace {
// Without a window there is nobody to ask: every import is cancelled.
class NoFileChooser : public FileChooser {
public:
    QCoro::Task<std::optional<QList<QUrl>>> chooseFiles() override { co_return std::nullopt; }
};

FileChooser*& installedChooser() {
    static FileChooser* chooser = nullptr;
    return chooser;
}
} // namespace

FileChooser& FileChooser::shared() {
    static NoFileChooser fallback;
    return installedChooser() ? *installedChooser() : fallback;
}

void FileChooser::install(FileChooser* chooser) {
    installedChooser() = chooser;
}
