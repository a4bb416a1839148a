#include "app/FileDialogChooser.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {
using Choice = std::optional<QList<QUrl>>;

QFileDialog* shownDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

QString writeFile(const QTemporaryDir& dir, const QString& name) {
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(name.toUtf8());
    return file.fileName();
}

// Types the names into the dialog's file name field and presses its Open button; whether the
// button could be pressed.
bool chooseIn(QFileDialog* dialog, const QString& folder, const QString& typed) {
    dialog->setDirectory(folder);
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!field || !buttons)
        return false;
    field->setText(typed);
    QPushButton* open = buttons->button(QDialogButtonBox::Open);
    if (!open || !open->isEnabled())
        return false;
    QTest::mouseClick(open, Qt::LeftButton);
    return true;
}

// Lets the dialog's deferred deletion happen.
void settleDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}
} // namespace

class FileDialogChooserTest : public QObject {
    Q_OBJECT
private slots:
    void severalFilesComeBackAndFoldersAreOpenedNotChosen() {
        QTemporaryDir dir;
        const QString one = writeFile(dir, QStringLiteral("one.txt"));
        const QString two = writeFile(dir, QStringLiteral("two.txt"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        FileDialogChooser chooser(QFileDialog::DontUseNativeDialog);

        const auto choice = TaskRunner::settle(chooser.chooseFiles());
        QPointer<QFileDialog> dialog = shownDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->windowModality(), Qt::NonModal);
        QVERIFY(!dialog->isModal());
        QVERIFY(!dialog->parentWidget());

        // A folder is opened in the dialog, never chosen.
        QVERIFY(chooseIn(dialog, dir.path(), QStringLiteral("folder")));
        QCoreApplication::processEvents();
        QVERIFY(!choice->done);
        QVERIFY(dialog->isVisible());
        QCOMPARE(QDir(dialog->directory()).dirName(), QStringLiteral("folder"));

        QVERIFY(chooseIn(dialog, dir.path(), QStringLiteral("\"two.txt\" \"one.txt\"")));
        const Choice chosen = TaskRunner::result(choice);
        QVERIFY(chosen);
        // The dialog gives the typed order, or the listing's once the folder has been read.
        QList<QUrl> files = *chosen;
        std::sort(files.begin(), files.end(),
                  [](const QUrl& a, const QUrl& b) { return a.toString() < b.toString(); });
        QCOMPARE(files, QList<QUrl>({QUrl::fromLocalFile(one), QUrl::fromLocalFile(two)}));
        settleDeletions();
        QVERIFY(!dialog);
    }

    void cancellingChoosesNothingAndEachCallHasItsOwnDialog() {
        FileDialogChooser chooser(QFileDialog::DontUseNativeDialog);
        const auto first = TaskRunner::settle(chooser.chooseFiles());
        QPointer<QFileDialog> dialog = shownDialog();
        QVERIFY(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCOMPARE(TaskRunner::result(first), Choice());
        settleDeletions();
        QVERIFY(!dialog);
        QVERIFY(!shownDialog());

        const auto second = TaskRunner::settle(chooser.chooseFiles());
        QVERIFY(shownDialog());
        shownDialog()->reject();
        QCOMPARE(TaskRunner::result(second), Choice());
    }

    void opensAtHomeFirstThenWhereTheLastFilesWereChosen() {
        TestEnvironment::resetPreferences();
        QVERIFY(QDir::currentPath() != QDir::homePath());
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("imports")));
        const QString imports = dir.filePath(QStringLiteral("imports"));
        writeFile(dir, QStringLiteral("imports/one.txt"));

        FileDialogChooser chooser(QFileDialog::DontUseNativeDialog);
        auto choice = TaskRunner::settle(chooser.chooseFiles());
        QVERIFY(shownDialog());
        QCOMPARE(shownDialog()->directory().absolutePath(), QDir::homePath());
        QVERIFY(chooseIn(shownDialog(), imports, QStringLiteral("one.txt")));
        QVERIFY(TaskRunner::result(choice));
        settleDeletions();
        QCOMPARE(Preferences::shared().stringValue("file_chooser_last_folder"),
                 std::optional<QString>(imports));

        // Also for a chooser made later, as after a restart; a cancel changes nothing.
        FileDialogChooser later(QFileDialog::DontUseNativeDialog);
        choice = TaskRunner::settle(later.chooseFiles());
        QVERIFY(shownDialog());
        QCOMPARE(shownDialog()->directory().absolutePath(), imports);
        shownDialog()->setDirectory(dir.path());
        shownDialog()->reject();
        QCOMPARE(TaskRunner::result(choice), Choice());
        settleDeletions();
        QCOMPARE(Preferences::shared().stringValue("file_chooser_last_folder"),
                 std::optional<QString>(imports));

        // A folder gone since is no place to start.
        QVERIFY(QDir(imports).removeRecursively());
        choice = TaskRunner::settle(later.chooseFiles());
        QVERIFY(shownDialog());
        QCOMPARE(shownDialog()->directory().absolutePath(), QDir::homePath());
        shownDialog()->reject();
        TaskRunner::result(choice);
    }

    void theInstalledDialogImportsTheChosenFilesIntoTheKippet() {
        FileDialogChooser chooser(QFileDialog::DontUseNativeDialog);
        FileChooser::install(&chooser);
        const auto uninstall = qScopeGuard([] { FileChooser::install(nullptr); });
        IntakeFixture h;
        const QString first = h.writeFile(QStringLiteral("first.txt"), "first");
        h.writeFile(QStringLiteral("second.txt"), "second");
        const auto import = TaskRunner::settle(h.intake->importChosenFiles());
        QFileDialog* dialog = shownDialog();
        QVERIFY(dialog);
        QVERIFY(chooseIn(dialog, QFileInfo(first).absolutePath(),
                         QStringLiteral("\"first.txt\" \"second.txt\"")));
        TaskRunner::result(import);
        QCOMPARE(h.kippet->items().size(), 2);
        QCOMPARE(h.kippet->items()[0].metadata.name, QStringLiteral("first.txt"));
        QCOMPARE(h.kippet->items()[1].metadata.name, QStringLiteral("second.txt"));
    }
};

QTEST_MAIN(FileDialogChooserTest)
#include "FileDialogChooserTest.moc"
