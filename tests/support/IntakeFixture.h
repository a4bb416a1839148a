#pragma once

#include "support/AppHarness.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <memory>

class Kippet;
class KippetIntake;
class StoreManager;
struct KippetItemModel;

// The started app with one open kippet, "Inbox", and the intake that adds to it. The analysis
// chain is a scripted analyzer (answering "Documents" until told otherwise).
class IntakeFixture {
public:
    IntakeFixture();
    ~IntakeFixture();
    IntakeFixture(const IntakeFixture&) = delete;
    IntakeFixture& operator=(const IntakeFixture&) = delete;

    QString folder() const { return app.folder(); }
    StoreManager& store() { return app.store(); }
    KippetManager& manager() { return app.manager(); }
    // Quits and starts the data layer anew on the same files; the kippet is looked up again.
    void start() { app.start(); }
    void stop() { app.stop(); }

    // The item rows stored for the kippet, in insertion order.
    QList<KippetItemModel> storedItems();
    QStringList itemFiles();
    // Lets the saves started as separate tasks run.
    static void settle() { AppHarness::settle(); }
    // A file outside the store, as a user's file to drop or choose.
    QString writeFile(const QString& name, const QByteArray& bytes) const;
    static QByteArray pngBytes(const QColor& color = Qt::red, QSize size = QSize(6, 4));

    AppHarness app;
    std::shared_ptr<ScriptedAnalyzer> analyzer;
    QPointer<Kippet> kippet;
    // How many items the kippet held when each analysis ran: an item is analysed before the
    // next one is added.
    QList<int> itemCountsSeen;
    std::unique_ptr<KippetIntake> intake;
};
