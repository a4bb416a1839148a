#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <optional>

class PreviewWindow;

// Feeds the one preview window: it holds the file to preview and brings the window up, or
// switches an open window to the new file. GUI thread only.
class PreviewManager : public QObject {
    Q_OBJECT
public:
    static PreviewManager& shared();
    // nullptr restores the app's own.
    static void install(PreviewManager* manager);

    explicit PreviewManager(QObject* parent = nullptr) : QObject(parent) {}
    ~PreviewManager() override;

    void preview(const QUrl& fileUrl);
    qsizetype previewItemCount() const { return previewItems_.size(); }
    // Nothing for an index past the held files.
    std::optional<QUrl> previewItem(qsizetype index) const;
    PreviewWindow* window() const;

private:
    QList<QUrl> previewItems_;
    QPointer<PreviewWindow> window_;
};
