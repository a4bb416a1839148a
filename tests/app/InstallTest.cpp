#include "support/AppHarness.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {
// The lines of a desktop entry's main group, by key.
QMap<QString, QString> entryFields(const QString& path) {
    QFile file(path);
    QMap<QString, QString> fields;
    if (!file.open(QIODevice::ReadOnly))
        return fields;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const qsizetype at = line.indexOf(QLatin1Char('='));
        if (at > 0)
            fields.insert(line.left(at), line.mid(at + 1));
    }
    return fields;
}

bool waitForLine(QProcess& process, const QString& line, QString& output) {
    return TaskRunner::waitUntil(
               [&] {
                   output += QString::fromUtf8(process.readAllStandardOutput());
                   return output.contains(line) || process.state() == QProcess::NotRunning;
               },
               90000) &&
           output.contains(line);
}
} // namespace

// `cmake --install` into a temporary prefix, as `make install` does into ~/.local.
class InstallTest : public QObject {
    Q_OBJECT

    QTemporaryDir prefix_;

    QString installed(const QString& path) const { return prefix_.filePath(path); }

private slots:
    void initTestCase() {
        QVERIFY(prefix_.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(KIPPETS_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(KIPPETS_BUILD_DIR),
                       QStringLiteral("--prefix"), prefix_.path()});
        QVERIFY(install.waitForFinished(300000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    }

    void theTreeHoldsTheAppItsDataAndItsDesktopEntry() {
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/kippets"))).isExecutable());
        // The image decoder, where the installed app looks for it, forbids itself files.
        QProcess decoder;
        decoder.start(installed(QStringLiteral("libexec/kippets/kippets-decoder")),
                      {QStringLiteral("--check-lockdown")});
        QVERIFY(decoder.waitForFinished(60000));
        QCOMPARE(decoder.exitCode(), 0);
        QVERIFY(decoder.readAllStandardError().contains("files forbidden"));
        QVERIFY(QFileInfo(installed(QStringLiteral("share/kippets/Features.md"))).isFile());
        const QDir labels(installed(QStringLiteral("lib/kippets/labels")));
        QVERIFY(labels.exists(QStringLiteral("centernet.json")));
        QVERIFY(labels.exists(QStringLiteral("centernet.bin")));
        QVERIFY(labels.exists(QStringLiteral("libkippets_labels.so")));

        const QString entry = installed(QStringLiteral("share/applications/kippets.desktop"));
        const QMap<QString, QString> fields = entryFields(entry);
        QCOMPARE(fields.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(fields.value(QStringLiteral("Name")), QStringLiteral("Kippets"));
        QCOMPARE(fields.value(QStringLiteral("Exec")), installed(QStringLiteral("bin/kippets")));
        QCOMPARE(fields.value(QStringLiteral("Icon")), QStringLiteral("kippets"));
        QCOMPARE(fields.value(QStringLiteral("Categories")), QStringLiteral("Utility;"));
        // Qt names the windows' X class after the application name.
        QCOMPARE(fields.value(QStringLiteral("StartupWMClass")), QStringLiteral("Kippets"));

        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validate.waitForFinished(30000));
        const QByteArray complaints = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
    }

    // The theme's icon: the tray symbol in white on a rounded tile of the kippet blue.
    void theIconIsInTheThemeAndDrawsTheTile() {
        const QString path =
            installed(QStringLiteral("share/icons/hicolor/scalable/apps/kippets.svg"));
        QSvgRenderer renderer(path);
        QVERIFY(renderer.isValid());
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            renderer.render(&painter);
        }
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0); // a rounded corner
        QCOMPARE(image.pixelColor(4, 32), QColor(0, 122, 255));
        int white = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                white += image.pixelColor(x, y) == QColor(Qt::white);
        QVERIFY2(white > 64 * 64 / 10, qPrintable(QString::number(white)));
    }

    void theInstalledAppStartsAndQuitsOnSigterm() {
        QTemporaryDir home;
        QProcess app;
        app.setProcessEnvironment(AppHarness::childEnvironment(home.path()));
        app.start(installed(QStringLiteral("bin/kippets")),
                  {QStringLiteral("-useTemporaryStorage")});
        QString output;
        QVERIFY2(
            waitForLine(app, QStringLiteral("📦 KippetManager initialization complete"), output),
            qPrintable(output + QString::fromUtf8(app.readAllStandardError())));
        ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(60000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }

    // Starting the entry while Kippets runs hands over to the running one and ends.
    void theEntryStartedAgainHandsOverToTheRunningApp() {
        QTemporaryDir home;
        const QProcessEnvironment environment = AppHarness::childEnvironment(home.path());
        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(installed(QStringLiteral("bin/kippets")), {});
        QString output;
        QVERIFY2(
            waitForLine(first, QStringLiteral("📦 KippetManager initialization complete"), output),
            qPrintable(output));

        const QString exec =
            entryFields(installed(QStringLiteral("share/applications/kippets.desktop")))
                .value(QStringLiteral("Exec"));
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(exec, {});
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(!QString::fromUtf8(second.readAllStandardOutput())
                     .contains(QStringLiteral("🚀 App launching...")));
        QCOMPARE(first.state(), QProcess::Running);

        ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
    }
};

QTEST_MAIN(InstallTest)
#include "InstallTest.moc"
