#include "window/ItemActions.h"
#include "app/Dialogs.h"
#include "app/PreviewManager.h"
#include "app/PreviewWindow.h"
#include "app/Workspace.h"
#include "editors/TextNoteView.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/MappedBytes.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/CardHoverButton.h"
#include "window/ExpandedKippetLayout.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/ItemCard.h"
#include "window/ItemsArea.h"
#include "window/PanelDriver.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDirIterator>
#include <QDrag>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace PanelDriver;

// The reveal, copy and remove buttons of the cards in a real expanded window, and the copies,
// links and drags of each kind of item, against the in-process clipboard and a recording
// workspace.
namespace {
KippetItem itemOf(KippetItemType type, const QByteArray& content, const QString& name) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    item.metadata.name = name;
    item.category = ItemCategory::documents;
    item.addedDate = QDateTime::currentDateTimeUtc();
    return item;
}

QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

// Something else on the clipboard, to see whether an action left it alone.
void putOldContents() {
    clipboard()->setText(QStringLiteral("old contents"));
}

ItemsArea* itemsOf(FloatingKippetWindow* window) {
    return qobject_cast<ExpandedKippetLayout*>(viewOf(window)->currentLayout())->itemsArea();
}

FloatingKippetWindow* expanded(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = showActive(app, kippet);
    if (!kippet->isExpanded())
        window->toggleExpanded();
    AppHarness::settle();
    return window;
}

// Points at the card, then clicks its button with the name.
void clickButton(ItemCard* card, const char* name) {
    QEnterEvent enter(QPointF(5, 5), card->mapTo(card->window(), QPointF(5, 5)),
                      card->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(card, &enter);
    auto* button = card->findChild<CardHoverButton*>(QString::fromLatin1(name));
    QVERIFY(button && button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
}

// A plain file where the kippet's item folder belongs: no item file can be written there.
void blockItemFiles(AppHarness& app, Kippet* kippet) {
    const QString folder = app.manager().itemsDirectory(kippet);
    QDir(folder).removeRecursively();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
}
QStringList entriesOf(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->text());
    return texts;
}

QAction* entry(const QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// A right click on the card, as the window system sends it; the menu it pops up.
// The file's place on the disk, to tell a second name of a file from a copy of it.
QPair<quint64, quint64> inodeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {0, 0};
    return {quint64(info.st_dev), quint64(info.st_ino)};
}

QMenu* rightClick(ItemCard* card) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            card->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(card, &event);
    return card->findChild<QMenu*>(QStringLiteral("ItemContextMenu"));
}
} // namespace

class ItemActionsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TestEnvironment::resetPreferences();
        // The items alone, so every card of a test is in view.
        ExpandedKippetLayout::setNoteCardFactory({});
        ExpandedKippetLayout::setTodoCardFactory({});
        workspace_ = std::make_unique<Workspace>();
        workspace_->setRecordingOnly(true);
        Workspace::install(workspace_.get());
    }
    void cleanup() {
        Workspace::install(nullptr);
        PreviewManager::install(nullptr);
    }

    void aClickOpensEachKindInItsOwnWay() {
        AppHarness app;
        start(app);
        PreviewManager previews;
        PreviewManager::install(&previews);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem code = itemOf(KippetItemType::code, "int x;", QStringLiteral("c"));
        const KippetItem link = itemOf(KippetItemType::url, "https://example.com/", QString());
        const KippetItem local = itemOf(KippetItemType::url, "file:///etc/hosts", QString());
        const KippetItem first = itemOf(KippetItemType::file, "one", QStringLiteral("one.txt"));
        const KippetItem second = itemOf(KippetItemType::file, "two", QStringLiteral("two.txt"));
        const KippetItem swatch = itemOf(KippetItemType::color, "#FF0000", QStringLiteral("s"));
        for (const KippetItem& item : {code, link, local, first, second, swatch})
            app.manager().addItem(item, kippet);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);

        QTest::mouseClick(items->cardFor(code.id), Qt::LeftButton, {}, QPoint(20, 150));
        auto* viewer = window->findChild<TextNoteView*>();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->text(), QStringLiteral("int x;"));
        viewer->accept();

        QTest::mouseClick(items->cardFor(link.id), Qt::LeftButton, {}, QPoint(20, 150));
        QTest::mouseClick(items->cardFor(local.id), Qt::LeftButton, {}, QPoint(20, 150));
        QCOMPARE(workspace_->opened(), QList<QUrl>({QUrl(QStringLiteral("https://example.com/"))}));

        QTest::mouseClick(items->cardFor(first.id), Qt::LeftButton, {}, QPoint(20, 150));
        PreviewWindow* preview = previews.window();
        QVERIFY(preview && preview->isVisible());
        QCOMPARE(preview->fileUrl(), app.manager().handOutURL(first, kippet));
        QTest::mouseClick(items->cardFor(second.id), Qt::LeftButton, {}, QPoint(20, 150));
        QCOMPARE(previews.window(), preview);
        QCOMPARE(preview->windowTitle(), QStringLiteral("two.txt"));

        // A swatch opens nothing.
        QTest::mouseClick(items->cardFor(swatch.id), Qt::LeftButton, {}, QPoint(20, 150));
        QCOMPARE(workspace_->opened().size(), 1);
        QCOMPARE(previews.previewItem(0),
                 std::optional<QUrl>(app.manager().handOutURL(second, kippet)));
    }

    void theMenuOffersEachKindsCommands() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem text = itemOf(KippetItemType::note, "jot", QStringLiteral("t"));
        const KippetItem link = itemOf(KippetItemType::url, "https://example.com/", QString());
        const KippetItem image = itemOf(KippetItemType::image, "PNG", QStringLiteral("i.png"));
        const KippetItem swatch = itemOf(KippetItemType::color, "#00FF00", QStringLiteral("s"));
        for (const KippetItem& item : {text, link, image, swatch})
            app.manager().addItem(item, kippet);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);

        QMenu* menu = rightClick(items->cardFor(text.id));
        QVERIFY(menu);
        QCOMPARE(entriesOf(menu),
                 QStringList({QStringLiteral("Open"), QStringLiteral("Copy Text")}));
        entry(menu, QStringLiteral("Copy Text"))->trigger();
        QCOMPARE(clipboard()->text(), QStringLiteral("jot"));
        delete menu;

        menu = rightClick(items->cardFor(link.id));
        QCOMPARE(entriesOf(menu),
                 QStringList({QStringLiteral("Open Link"), QStringLiteral("Copy Link")}));
        delete menu;

        menu = rightClick(items->cardFor(image.id));
        QCOMPARE(entriesOf(menu), QStringList({QStringLiteral("Open"), QStringLiteral("Quick Look"),
                                               QStringLiteral("Show in File Manager"),
                                               QStringLiteral("Copy File")}));
        entry(menu, QStringLiteral("Show in File Manager"))->trigger();
        QCOMPARE(workspace_->revealed(), QList<QUrl>({app.manager().handOutURL(image, kippet)}));
        delete menu;

        menu = rightClick(items->cardFor(swatch.id));
        QCOMPARE(entriesOf(menu), QStringList({QStringLiteral("Copy")}));
        entry(menu, QStringLiteral("Copy"))->trigger();
        QCOMPARE(clipboard()->text(), QStringLiteral("#00FF00"));
        delete menu;
    }

    void aFileThatCannotBeWrittenHasNoFileManagerEntry() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem file = itemOf(KippetItemType::file, "bytes", QStringLiteral("d.bin"));
        kippet->addItem(file);
        blockItemFiles(app, kippet);
        std::unique_ptr<QMenu> menu(ItemActions(file, kippet).contextMenu(nullptr));
        QCOMPARE(entriesOf(menu.get()),
                 QStringList({QStringLiteral("Open"), QStringLiteral("Quick Look"),
                              QStringLiteral("Copy File")}));
        putOldContents();
        entry(menu.get(), QStringLiteral("Copy File"))->trigger();
        QCOMPARE(clipboard()->text(), QStringLiteral("old contents"));
        QVERIFY(!clipboard()->mimeData()->hasUrls());
    }

    void theCopyButtonCopiesEachKindAsItsOwn() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem text = itemOf(KippetItemType::text, "soup recipe", QStringLiteral("a"));
        const KippetItem link =
            itemOf(KippetItemType::url, "https://example.com/a?b=1", QStringLiteral("b"));
        const KippetItem swatch = itemOf(KippetItemType::color, "#FF8800", QStringLiteral("c"));
        const KippetItem file = itemOf(KippetItemType::file, "PDF bytes", QStringLiteral("d.pdf"));
        for (const KippetItem& item : {text, link, swatch, file})
            app.manager().addItem(item, kippet);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);

        clickButton(items->cardFor(text.id), "CopyItemButton");
        QCOMPARE(clipboard()->text(), QStringLiteral("soup recipe"));
        QVERIFY(!clipboard()->mimeData()->hasUrls());

        clickButton(items->cardFor(link.id), "CopyItemButton");
        QCOMPARE(clipboard()->mimeData()->urls(),
                 QList<QUrl>({QUrl(QStringLiteral("https://example.com/a?b=1"))}));
        QCOMPARE(clipboard()->text(), QStringLiteral("https://example.com/a?b=1"));

        // A swatch copies its text, not a file of its bytes.
        clickButton(items->cardFor(swatch.id), "CopyItemButton");
        QCOMPARE(clipboard()->text(), QStringLiteral("#FF8800"));
        QVERIFY(!clipboard()->mimeData()->hasUrls());

        clickButton(items->cardFor(file.id), "CopyItemButton");
        const QList<QUrl> urls = clipboard()->mimeData()->urls();
        QCOMPARE(urls.size(), 1);
        QVERIFY(urls[0].isLocalFile());
        QFile written(urls[0].toLocalFile());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("PDF bytes"));
        QCOMPARE(urls[0], app.manager().handOutURL(file, kippet));
    }

    void textThatIsNotUtf8AndFilesThatCannotBeWrittenLeaveTheClipboard() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem bad = itemOf(KippetItemType::text, "\xff\xfe", QStringLiteral("bad"));
        const KippetItem file = itemOf(KippetItemType::file, "bytes", QStringLiteral("d.bin"));
        const KippetItem unknown = itemOf(KippetItemType::unknown, "raw", QStringLiteral("u"));
        const KippetItem badSwatch = itemOf(KippetItemType::color, "\xff", QStringLiteral("Red"));
        kippet->addItem(bad);
        kippet->addItem(unknown);
        kippet->addItem(badSwatch);
        kippet->addItem(file);
        blockItemFiles(app, kippet);

        putOldContents();
        ItemActions(bad, kippet).copyText();
        QCOMPARE(clipboard()->text(), QStringLiteral("old contents"));
        QVERIFY(!ItemActions(file, kippet).fileURL());
        QVERIFY(!ItemActions(file, kippet).copyFile());
        QCOMPARE(clipboard()->text(), QStringLiteral("old contents"));
        // The folder button has nothing to show.
        ItemActions(file, kippet).revealFile();
        QVERIFY(workspace_->revealed().isEmpty());

        // Without a file, an unknown item falls back to its text; a swatch that is not text
        // copies its title.
        ItemActions(unknown, kippet).copyItem();
        QCOMPARE(clipboard()->text(), QStringLiteral("raw"));
        ItemActions(badSwatch, kippet).copyAsText();
        QCOMPARE(clipboard()->text(), badSwatch.displayTitle());
    }

    void otherApplicationsGetTheItemsNameOnASecondNameOfItsFile() {
        AppHarness app;
        start(app);
        PreviewManager previews;
        PreviewManager::install(&previews);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        KippetItem first = itemOf(KippetItemType::file, "first zip", QStringLiteral("bundle.zip"));
        first.metadata.fileExtension = QStringLiteral("zip");
        KippetItem second = itemOf(KippetItemType::file, "other zip", QStringLiteral("bundle.zip"));
        second.metadata.fileExtension = QStringLiteral("zip");
        KippetItem report = itemOf(KippetItemType::file, "%PDF", QStringLiteral("Q1/Q2 report"));
        report.metadata.fileExtension = QStringLiteral("pdf");
        for (const KippetItem& item : {first, second, report})
            app.manager().addItem(item, kippet);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);

        std::unique_ptr<QMimeData> dragged(ItemActions(first, kippet).dragMimeData());
        QCOMPARE(dragged->urls().size(), 1);
        const QString handed = dragged->urls()[0].toLocalFile();
        QCOMPARE(QFileInfo(handed).fileName(), QStringLiteral("bundle.zip"));
        clickButton(items->cardFor(first.id), "CopyItemButton");
        QCOMPARE(clipboard()->mimeData()->urls(), QList<QUrl>({QUrl::fromLocalFile(handed)}));
        clickButton(items->cardFor(first.id), "RevealItemButton");
        QCOMPARE(workspace_->revealed(), QList<QUrl>({QUrl::fromLocalFile(handed)}));
        QTest::mouseClick(items->cardFor(first.id), Qt::LeftButton, {}, QPoint(20, 150));
        QVERIFY(previews.window());
        QCOMPARE(previews.window()->fileUrl(), QUrl::fromLocalFile(handed));
        QCOMPARE(previews.window()->windowTitle(), QStringLiteral("bundle.zip"));

        // No byte is copied: the stored file under a second name, which nobody may change.
        const QString stored = app.manager().fileURL(first, kippet).toLocalFile();
        QCOMPARE(QFileInfo(stored).fileName(),
                 first.id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".zip"));
        QCOMPARE(inodeOf(handed), inodeOf(stored));
        QVERIFY(inodeOf(handed).second != 0);
        QCOMPARE(QFileInfo(handed).permissions() &
                     (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        // Asked again, the same name; nothing is written anew.
        QCOMPARE(ItemActions(first, kippet).fileURL(), std::optional(QUrl::fromLocalFile(handed)));
        QCOMPARE(inodeOf(handed), inodeOf(stored));

        // Two items of one name stay apart, each with its own bytes.
        std::unique_ptr<QMimeData> other(ItemActions(second, kippet).dragMimeData());
        const QString otherPath = other->urls()[0].toLocalFile();
        QCOMPARE(QFileInfo(otherPath).fileName(), QStringLiteral("bundle.zip"));
        QVERIFY(otherPath != handed);
        QFile otherFile(otherPath);
        QVERIFY(otherFile.open(QIODevice::ReadOnly));
        QCOMPARE(otherFile.readAll(), QByteArray("other zip"));

        // A slash cannot stand in a file name; the extension is added to the name.
        std::unique_ptr<QMimeData> pdf(ItemActions(report, kippet).dragMimeData());
        QCOMPARE(pdf->urls()[0].fileName(), QStringLiteral("Q1-Q2 report.pdf"));

        // Removing the item takes its handed-out name along.
        app.manager().removeItem(first, kippet);
        QVERIFY(!QFile::exists(handed));
        QVERIFY(QFile::exists(otherPath));
    }

    // Something else in the place of an item's file: a link to a file elsewhere, a pipe, a
    // folder. The menu, the preview, the copy and the drag hand out the item's own bytes or
    // nothing, never wait, and leave the file elsewhere as it was.
    void whatIsNotTheItemsFileIsNeverHandedOut() {
        AppHarness app;
        start(app);
        PreviewManager previews;
        PreviewManager::install(&previews);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        QTemporaryDir outside;
        const QString decoy = outside.filePath(QStringLiteral("decoy.txt"));
        QFile decoyFile(decoy);
        QVERIFY(decoyFile.open(QIODevice::WriteOnly));
        decoyFile.write("foreign bytes");
        decoyFile.close();
        QVERIFY(QFile::setPermissions(decoy, QFile::ReadOwner | QFile::WriteOwner));
        QList<KippetItem> items;
        for (const char* name : {"linked", "piped", "hollow"}) {
            KippetItem item = itemOf(KippetItemType::file, QByteArray(name) + " bytes",
                                     QString::fromLatin1(name) + QStringLiteral(".txt"));
            item.metadata.fileExtension = QStringLiteral("txt");
            app.manager().addItem(item, kippet);
            items.append(item);
        }
        const QString folder = app.manager().itemsDirectory(kippet) + QLatin1Char('/');
        auto place = [&](int index) { return folder + ItemStorage::idText(items[index].id); };
        QVERIFY(QFile::remove(place(0)));
        QVERIFY(QFile::link(decoy, place(0)));
        QVERIFY(QFile::remove(place(1)));
        QCOMPARE(::mkfifo(QFile::encodeName(place(1)).constData(), 0600), 0);
        QVERIFY(QFile::remove(place(2)));
        QVERIFY(QDir().mkdir(place(2) + QStringLiteral(".txt")));
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* area = itemsOf(window);
        auto handedContent = [] {
            QFile file(clipboard()->mimeData()->urls().value(0).toLocalFile());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };

        // The right click resolves the file; "Copy File" hands it out.
        for (int index : {0, 1}) {
            QMenu* menu = rightClick(area->cardFor(items[index].id));
            QVERIFY(menu);
            QVERIFY(entry(menu, QStringLiteral("Show in File Manager")));
            entry(menu, QStringLiteral("Copy File"))->trigger();
            QCOMPARE(handedContent(), items[index].content);
            delete menu;
        }
        QCOMPARE(QFileInfo(decoy).permissions() & (QFile::ReadOwner | QFile::WriteOwner),
                 QFile::ReadOwner | QFile::WriteOwner);
        QFile readDecoy(decoy);
        QVERIFY(readDecoy.open(QIODevice::ReadOnly));
        QCOMPARE(readDecoy.readAll(), QByteArray("foreign bytes"));

        QTest::mouseClick(area->cardFor(items[1].id), Qt::LeftButton, {}, QPoint(20, 150));
        QVERIFY(previews.window());
        QTRY_COMPARE(previews.window()->pane(), PreviewWindow::Pane::text);
        QCOMPARE(previews.window()->text(), QStringLiteral("piped bytes"));
        std::unique_ptr<QMimeData> dragged(ItemActions(items[1], kippet).dragMimeData());
        QVERIFY(dragged->hasUrls());

        // A folder cannot be replaced: the item has no file, and every action turns to nothing.
        const QUrl shown = previews.window()->fileUrl();
        QTest::mouseClick(area->cardFor(items[2].id), Qt::LeftButton, {}, QPoint(20, 150));
        QCOMPARE(previews.window()->fileUrl(), shown);
        QMenu* menu = rightClick(area->cardFor(items[2].id));
        QCOMPARE(entriesOf(menu), QStringList({QStringLiteral("Open"), QStringLiteral("Quick Look"),
                                               QStringLiteral("Copy File")}));
        delete menu;
        putOldContents();
        QVERIFY(!ItemActions(items[2], kippet).copyFile());
        QCOMPARE(clipboard()->text(), QStringLiteral("old contents"));
        dragged.reset(ItemActions(items[2], kippet).dragMimeData());
        QVERIFY(!dragged->hasUrls());
        QCOMPARE(dragged->text(), items[2].displayTitle());
    }

    void theFolderButtonRevealsTheItemsFile() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem file = itemOf(KippetItemType::file, "bytes", QStringLiteral("d.txt"));
        app.manager().addItem(file, kippet);
        FloatingKippetWindow* window = expanded(app, kippet);

        clickButton(itemsOf(window)->cardFor(file.id), "RevealItemButton");
        QCOMPARE(workspace_->revealed().size(), 1);
        QCOMPARE(workspace_->revealed()[0], app.manager().handOutURL(file, kippet));
        QVERIFY(QFile::exists(workspace_->revealed()[0].toLocalFile()));
        QVERIFY(workspace_->opened().isEmpty());
    }

    void onlyWebLinksReachTheDesktop() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        LogCapture log;
        QVERIFY(ItemActions(itemOf(KippetItemType::url, "https://example.com/", QString()), kippet)
                    .openLink());
        QVERIFY(!ItemActions(itemOf(KippetItemType::url, "file:///etc/passwd", QString()), kippet)
                     .openLink());
        QVERIFY(!ItemActions(itemOf(KippetItemType::url, "steam://run/1", QString()), kippet)
                     .openLink());
        QVERIFY(
            !ItemActions(itemOf(KippetItemType::url, "not a link", QString()), kippet).openLink());
        QCOMPARE(workspace_->opened(), QList<QUrl>({QUrl(QStringLiteral("https://example.com/"))}));
        QVERIFY(log.contains(QStringLiteral("file:///etc/passwd")));
        QVERIFY(log.contains(QStringLiteral("steam://run/1")));
    }

    void theRemoveButtonRemovesTheCardAndTheRow() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem gone = itemOf(KippetItemType::text, "gone", QStringLiteral("gone"));
        const KippetItem kept = itemOf(KippetItemType::text, "kept", QStringLiteral("kept"));
        app.manager().addItem(gone, kippet);
        app.manager().addItem(kept, kippet);
        FloatingKippetWindow* window = expanded(app, kippet);

        clickButton(itemsOf(window)->cardFor(gone.id), "RemoveItemButton");
        AppHarness::settle();
        QVERIFY(!itemsOf(window)->cardFor(gone.id));
        QVERIFY(itemsOf(window)->cardFor(kept.id));
        QVERIFY(app.dialogs().shown().isEmpty());
        Kippet* reloaded = stored(app, QStringLiteral("Inbox"));
        QCOMPARE(reloaded->items().size(), 1);
        QCOMPARE(reloaded->items()[0].id, kept.id);
    }

    void aRefusedRemovalKeepsTheCardAndShowsTheError() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem item = itemOf(KippetItemType::file, "bytes", QStringLiteral("d.txt"));
        app.manager().addItem(item, kippet);
        const QUrl file = app.manager().handOutURL(item, kippet);
        FloatingKippetWindow* window = expanded(app, kippet);
        QVERIFY(app.failStore(QStringLiteral("CREATE TRIGGER keep_items BEFORE DELETE ON "
                                             "kippet_items BEGIN SELECT RAISE(ABORT, 'disk "
                                             "full'); END")));
        LogCapture log;

        clickButton(itemsOf(window)->cardFor(item.id), "RemoveItemButton");
        AppHarness::settle();
        QVERIFY(itemsOf(window)->cardFor(item.id));
        QVERIFY(kippet->item(item.id));
        QVERIFY(QFile::exists(file.toLocalFile()));
        QCOMPARE(app.dialogs().shown().size(), 1);
        QCOMPARE(app.dialogs().shown()[0].title, QStringLiteral("Error"));
        QVERIFY(log.contains(QStringLiteral("❌ [ItemActions] Failed to remove item: ")));
    }

    // An item whose stored bytes cannot be read has no file: each way of handing it out says so
    // once, in words, and hands out nothing, never an empty file.
    void anItemWhoseBytesCannotBeReadHandsOutNothingAndSaysWhy() {
        AppHarness app;
        start(app);
        PreviewManager previews;
        PreviewManager::install(&previews);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        KippetItem item =
            itemOf(KippetItemType::file, QByteArray(128 * 1024, 'r'), QStringLiteral("report.bin"));
        item.metadata.fileExtension = QStringLiteral("bin");
        app.manager().addItem(item, kippet);
        const QString external = app.store().container()->externalFolder();
        const QString stored =
            external + QLatin1Char('/') + QDir(external).entryList(QDir::Files).value(0);
        const QString folder = app.manager().itemsDirectory(kippet);
        app.stop();
        MappedBytes::releaseUnused();
        QVERIFY(QFile::setPermissions(stored, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(::truncate(QFile::encodeName(stored).constData(), 100), 0);

        start(app);
        kippet = app.byName(QStringLiteral("Inbox"));
        ItemCard* card = itemsOf(expanded(app, kippet))->cardFor(item.id);
        QVERIFY(card);
        auto toldOnce = [&app] {
            const QList<Dialogs::Shown> shown = app.dialogs().shown();
            app.dialogs().clearShown();
            return shown.size() == 1 && shown[0].title == QStringLiteral("Error") &&
                   shown[0].text == QStringLiteral("The file of “report.bin” cannot be read: it "
                                                   "holds 100 bytes where 131072 were stored");
        };
        putOldContents();

        // The menu only looks whether there is a file; asking for one tells.
        QMenu* menu = rightClick(card);
        QVERIFY(menu);
        QCOMPARE(entriesOf(menu), QStringList({QStringLiteral("Open"), QStringLiteral("Quick Look"),
                                               QStringLiteral("Copy File")}));
        QVERIFY(app.dialogs().shown().isEmpty());
        entry(menu, QStringLiteral("Copy File"))->trigger();
        QVERIFY(toldOnce());
        entry(menu, QStringLiteral("Quick Look"))->trigger();
        QVERIFY(toldOnce());
        delete menu;
        QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(20, 150));
        QVERIFY(toldOnce());
        clickButton(card, "CopyItemButton");
        QVERIFY(toldOnce());
        clickButton(card, "RevealItemButton");
        QVERIFY(toldOnce());
        QVERIFY(!ItemActions(card->item(), kippet).dragMimeData());
        QVERIFY(toldOnce());

        QVERIFY(!previews.window());
        QVERIFY(workspace_->revealed().isEmpty());
        QCOMPARE(clipboard()->text(), QStringLiteral("old contents"));
        QVERIFY(!clipboard()->mimeData()->hasUrls());
        QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext())
            QVERIFY2(files.nextFileInfo().size() != 0, qPrintable(files.filePath()));

        // A double click tries once: the second click of it opens nothing more. As the system
        // sends it: press, release, the second press as a double click, release.
        const QPoint at(20, 150);
        QTest::mousePress(card, Qt::LeftButton, {}, at);
        QTest::mouseRelease(card, Qt::LeftButton, {}, at);
        QTest::mouseDClick(card, Qt::LeftButton, {}, at);
        QTest::mouseRelease(card, Qt::LeftButton, {}, at);
        QVERIFY(toldOnce());
        // A click after it opens as any click does.
        QTest::mouseClick(card, Qt::LeftButton, {}, at);
        QVERIFY(toldOnce());

        // The bytes restored while the app runs (written back over the file, as a copy from a
        // backup does): each hand-out looks again and gives them, without a restart.
        QFile restored(stored);
        QVERIFY(restored.open(QIODevice::WriteOnly));
        QCOMPARE(restored.write(item.content), item.content.size());
        restored.close();
        const auto bytesAt = [](const QUrl& url) {
            QFile file(url.toLocalFile());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        menu = rightClick(card);
        QVERIFY(menu);
        entry(menu, QStringLiteral("Copy File"))->trigger();
        QVERIFY(app.dialogs().shown().isEmpty());
        QVERIFY(clipboard()->mimeData()->hasUrls());
        QVERIFY(bytesAt(clipboard()->mimeData()->urls().value(0)) == item.content);
        entry(menu, QStringLiteral("Quick Look"))->trigger();
        delete menu;
        QVERIFY(previews.window());
        QVERIFY(bytesAt(previews.window()->fileUrl()) == item.content);
        std::unique_ptr<QMimeData> dragged(ItemActions(card->item(), kippet).dragMimeData());
        QVERIFY(dragged && dragged->hasUrls());
        QVERIFY(bytesAt(dragged->urls().value(0)) == item.content);
        QVERIFY(app.dialogs().shown().isEmpty());
    }

    void dragsOfferEachKindAsOtherApplicationsTakeIt() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem image = itemOf(KippetItemType::image, "PNG bytes", QStringLiteral("p"));
        const KippetItem link = itemOf(KippetItemType::url, "https://example.com/", QString());
        KippetItem broken = itemOf(KippetItemType::url, "not a link", QStringLiteral("Broken"));
        const KippetItem code = itemOf(KippetItemType::code, "int x;", QStringLiteral("c"));
        const KippetItem bad = itemOf(KippetItemType::note, "\xff", QStringLiteral("Bad note"));
        app.manager().addItem(image, kippet);

        std::unique_ptr<QMimeData> data(ItemActions(image, kippet).dragMimeData());
        QCOMPARE(data->urls(), QList<QUrl>({app.manager().handOutURL(image, kippet)}));
        data.reset(ItemActions(link, kippet).dragMimeData());
        QCOMPARE(data->urls(), QList<QUrl>({QUrl(QStringLiteral("https://example.com/"))}));
        data.reset(ItemActions(broken, kippet).dragMimeData());
        QVERIFY(!data->hasUrls());
        QCOMPARE(data->text(), broken.displayTitle());
        data.reset(ItemActions(code, kippet).dragMimeData());
        QCOMPARE(data->text(), QStringLiteral("int x;"));
        data.reset(ItemActions(bad, kippet).dragMimeData());
        QCOMPARE(data->text(), bad.displayTitle());

        // Without its file, an image hands over its title.
        const KippetItem unwritten = itemOf(KippetItemType::image, "PNG", QStringLiteral("q"));
        blockItemFiles(app, kippet);
        data.reset(ItemActions(unwritten, kippet).dragMimeData());
        QVERIFY(!data->hasUrls());
        QCOMPARE(data->text(), unwritten.displayTitle());
    }

    // A legacy file's item whose location holds NUL characters is imported as it is; no command
    // hands that location to Qt or the desktop, and each says why.
    void aLegacyLocationThatNamesNoFileIsRefusedInWords() {
        AppHarness app;
        Kippet legacy(QUuid::createUuid(), QStringLiteral("Old"), KippetColor::standardBlue(),
                      QStringLiteral("tray.fill"), QDateTime::currentDateTimeUtc());
        const KippetItem item =
            itemOf(KippetItemType::file, "file:///data/p.%00%00.f", QStringLiteral("p.f"));
        legacy.setItems({item});
        app.writeLegacyFile({&legacy}, {&legacy});
        start(app);
        PreviewManager previews;
        PreviewManager::install(&previews);
        Kippet* kippet = app.manager().kippet(legacy.id());
        QVERIFY(kippet && kippet->item(item.id));
        QVERIFY(kippet->item(item.id)->isFileReference());
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemCard* card = itemsOf(window)->cardFor(item.id);
        QVERIFY(card);
        const QString refusal = QStringLiteral(
            "The file of “p.f” cannot be opened: its location file:///data/p.%00%00.f holds "
            "control characters, which no file name has.");
        putOldContents();
        LogCapture log;

        QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(20, 150));
        clickButton(card, "RevealItemButton");
        clickButton(card, "CopyItemButton");
        std::unique_ptr<QMenu> menu(rightClick(card));
        QVERIFY(menu);
        QCOMPARE(entriesOf(menu.get()),
                 QStringList({QStringLiteral("Open"), QStringLiteral("Quick Look"),
                              QStringLiteral("Copy File")}));
        entry(menu.get(), QStringLiteral("Quick Look"))->trigger();
        entry(menu.get(), QStringLiteral("Copy File"))->trigger();
        ItemActions(*kippet->item(item.id), kippet).startDrag(card);

        QCOMPARE(app.dialogs().shown().size(), 6);
        for (const Dialogs::Shown& shown : app.dialogs().shown()) {
            QCOMPARE(shown.title, QStringLiteral("Error"));
            QCOMPARE(shown.text, refusal);
        }
        QVERIFY(log.contains(QStringLiteral("⚠️ [ItemActions] ") + refusal));
        QVERIFY(!previews.window());
        QVERIFY(workspace_->revealed().isEmpty());
        QVERIFY(workspace_->opened().isEmpty());
        QCOMPARE(clipboard()->text(), QStringLiteral("old contents"));
        QVERIFY(card->findChildren<QDrag*>().isEmpty());
        std::unique_ptr<QMimeData> dragged(ItemActions(item, kippet).dragMimeData());
        QVERIFY(!dragged->hasUrls());

        // The desktop seam refuses such a location too, whoever hands it over.
        const QUrl location(QStringLiteral("file:///data/p.%00%00.f"));
        QVERIFY(!workspace_->open(location));
        QVERIFY(!workspace_->revealFile(location));
        QVERIFY(workspace_->revealed().isEmpty());
        QVERIFY(workspace_->opened().isEmpty());
    }

private:
    std::unique_ptr<Workspace> workspace_;
};

QTEST_MAIN(ItemActionsTest)
#include "ItemActionsTest.moc"
