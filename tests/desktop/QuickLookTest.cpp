#include "DesktopSession.h"

#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "model/KippetItem.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// Quick Look on the built app, with the kippet brought in from a legacy file of an older version.
class QuickLookTest : public QObject {
    Q_OBJECT
private slots:
    // The legacy file's item names a location with NUL characters in it. Clicking its card asks
    // for Quick Look: the app says why it cannot, and goes on running.
    void aLegacyLocationThatNamesNoFileIsRefusedInWords() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        Kippet legacy(QUuid::createUuid(), QStringLiteral("Old files"), KippetColor::standardBlue(),
                      QStringLiteral("tray.fill"), QDateTime::currentDateTimeUtc());
        legacy.setPosition(QPointF(100, 150));
        legacy.setIsExpanded(true);
        KippetItem item;
        item.id = QUuid::createUuid();
        item.type = KippetItemType::file;
        item.content = "file:///data/p.%00%00.f";
        item.metadata.name = QStringLiteral("p.f");
        item.category = ItemCategory::documents;
        item.addedDate = QDateTime::currentDateTimeUtc();
        legacy.setItems({item});
        const QString folder = desktop.home() + QStringLiteral("/.local/share/Kippets");
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + QStringLiteral("/kippets.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(
                       QJsonObject{{QStringLiteral("allKippets"), QJsonArray{legacy.toJson()}},
                                   {QStringLiteral("activeKippets"), QJsonArray{legacy.toJson()}}})
                       .toJson());
        file.close();

        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        QVERIFY(desktop.appOutput().contains(QStringLiteral("Found 1 kippets to migrate")));
        const DesktopSession::WindowId panel = desktop.windowTitled(QStringLiteral("Old files"));
        const QRect frame = desktop.geometry(panel);
        QVERIFY(!frame.isEmpty());
        // Scrolled to its end, the panel shows the item's card below the note and the todos.
        QVERIFY(desktop.scrollToEnd(panel, frame.center()));
        QVERIFY(desktop.clickOn(panel, QPoint(frame.left() + 104, frame.bottom() - 237)));

        QVERIFY2(DesktopSession::waitUntil(
                     [&] {
                         return desktop.windowTitled(QStringLiteral("Error")) != 0 ||
                                !desktop.isAppRunning();
                     },
                     60000),
                 qPrintable(desktop.appOutput()));
        QVERIFY2(desktop.isAppRunning(), qPrintable(desktop.appOutput()));
        QVERIFY(desktop.windowTitled(QStringLiteral("Error")));
        QVERIFY2(desktop.appOutput().contains(QStringLiteral(
                     "⚠️ [ItemActions] The file of “p.f” cannot be opened: its "
                     "location file:///data/p.%00%00.f holds control characters, "
                     "which no file name has.")),
                 qPrintable(desktop.appOutput()));
    }
};

QTEST_GUILESS_MAIN(QuickLookTest)
#include "QuickLookTest.moc"
