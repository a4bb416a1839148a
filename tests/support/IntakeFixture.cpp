#include "support/IntakeFixture.h"

#include "support/TestFiles.h"

#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

IntakeFixture::IntakeFixture() {
    analyzer = app.useScriptedAnalyzer();
    app.start();
    kippet = app.addKippet(QStringLiteral("Inbox"));
    analyzer->onAnalyze(
        [this] { itemCountsSeen.append(kippet ? static_cast<int>(kippet->items().size()) : -1); });
    intake = std::make_unique<KippetIntake>(kippet);
}

IntakeFixture::~IntakeFixture() {
    intake.reset();
}

QList<KippetItemModel> IntakeFixture::storedItems() {
    settle();
    const std::optional<KippetModel> row = app.store().fetchKippet(kippet->id());
    return row ? row->items : QList<KippetItemModel>();
}

QStringList IntakeFixture::itemFiles() {
    return QDir(app.manager().itemsDirectory(kippet)).entryList(QDir::Files, QDir::Name);
}

QString IntakeFixture::writeFile(const QString& name, const QByteArray& bytes) const {
    const QDir source(folder() + QStringLiteral("/source"));
    source.mkpath(QStringLiteral("."));
    const QString path = source.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write a test file");
    return path;
}

QByteArray IntakeFixture::pngBytes(const QColor& color, QSize size) {
    return TestFiles::encodedImage(size, color, "PNG");
}
