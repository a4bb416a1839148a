#include "app/PreviewManager.h"

#include "app/PreviewWindow.h"
#include "app/WindowLevel.h"

#include <QCoreApplication>

namespace {
PreviewManager* installed = nullptr;
}

PreviewManager& PreviewManager::shared() {
    if (installed)
        return *installed;
    // Made on first use; its window goes before the application does.
    static QPointer<PreviewManager> app;
    if (!app) {
        app = new PreviewManager(qApp);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, app,
                         [manager = app.data()] { delete manager->window_.data(); });
    }
    return *app;
}

void PreviewManager::install(PreviewManager* manager) {
    installed = manager;
}

PreviewManager::~PreviewManager() {
    delete window_.data();
}

void PreviewManager::preview(const QUrl& fileUrl) {
    previewItems_ = {fileUrl};
    if (!window_) {
        window_ = new PreviewWindow;
        window_->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    window_->showFile(fileUrl);
    WindowLevel::bringToFront(window_);
}

std::optional<QUrl> PreviewManager::previewItem(qsizetype index) const {
    if (index < 0 || index >= previewItems_.size())
        return std::nullopt;
    return previewItems_[index];
}

PreviewWindow* PreviewManager::window() const {
    return window_;
}
