#pragma once

#include "analysis/AIService.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/ScriptedAnalyzer.h"
#include "support/TestEnvironment.h"

#include "platform/Clock.h"
#include <QBuffer>
#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <memory>

// The data layer of one app run on real files: a SQLite store and item files in a temporary
// folder, the manager on it, an analysis service whose chain is a scripted analyzer (answering
// "Documents" until told otherwise), and one kippet with its intake.
class IntakeHarness {
public:
    IntakeHarness() {
        TestEnvironment::resetPreferences();
        service_ = std::make_unique<AIService>();
        analyzer =
            std::make_shared<ScriptedAnalyzer>(AnalyzerID::openAI, AnalyzerCapabilities::all);
        service_->setInjectedProviders(AIService::Chain{analyzer});
        AIService::install(service_.get());
        start();
        kippet = manager().createKippet(QStringLiteral("Inbox"), KippetColor::standardBlue(),
                                        QStringLiteral("tray.fill"), false);
        // How many items the kippet held when each analysis ran: an item is analysed before
        // the next one is added.
        analyzer->onAnalyze([this] {
            itemCountsSeen.append(kippet ? static_cast<int>(kippet->items().size()) : -1);
        });
        intake = std::make_unique<KippetIntake>(kippet);
    }
    ~IntakeHarness() {
        intake.reset();
        stop();
        AIService::install(nullptr);
    }

    QString folder() const { return dir_.path(); }
    StoreManager& store() { return *store_; }
    KippetManager& manager() { return *manager_; }

    void start() {
        store_ = std::make_unique<StoreManager>();
        StoreManager::install(store_.get());
        store_->configure(StoreContainer::createLocalContainer(folder()));
        manager_ = std::make_unique<KippetManager>(store_.get(), folder());
        KippetManager::install(manager_.get());
        QCoro::waitFor(manager_->waitForInitialization());
    }
    void stop() {
        KippetManager::install(nullptr);
        manager_.reset();
        StoreManager::install(nullptr);
        store_.reset();
    }

    // The item rows stored for the kippet, in insertion order.
    QList<KippetItemModel> storedItems() {
        settle();
        const std::optional<KippetModel> row = store_->fetchKippet(kippet->id());
        return row ? row->items : QList<KippetItemModel>();
    }
    QStringList itemFiles() const {
        return QDir(manager_->itemsDirectory(kippet)).entryList(QDir::Files, QDir::Name);
    }
    // Lets the saves started as separate tasks run.
    static void settle() {
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
    }

    QString writeFile(const QString& name, const QByteArray& bytes) const {
        QDir().mkpath(dir_.filePath(QStringLiteral("source")));
        const QString path = dir_.filePath(QStringLiteral("source/") + name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write a test file");
        return path;
    }

    static QByteArray pngBytes(const QColor& color = Qt::red, QSize size = QSize(6, 4)) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(color);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

    std::shared_ptr<ScriptedAnalyzer> analyzer;
    QPointer<Kippet> kippet;
    QList<int> itemCountsSeen;
    std::unique_ptr<KippetIntake> intake;

private:
    QTemporaryDir dir_;
    std::unique_ptr<AIService> service_;
    std::unique_ptr<StoreManager> store_;
    std::unique_ptr<KippetManager> manager_;
};
