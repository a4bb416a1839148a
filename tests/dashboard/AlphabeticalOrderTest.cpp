#include "app/KippetListing.h"
#include "model/Kippet.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
// Digits are letters like any other: "Item 10" before "Item 9", as a plain comparison has it.
const QStringList names{"zulu", "Item 9", "Ärger", "école", "Item 10", "Apple", "banana"};
const QStringList expected{"Apple", "Ärger", "banana", "école", "Item 10", "Item 9", "zulu"};
const char* probeVariable = "KIPPETS_SORT_PROBE";

// What "Alphabetical" makes of the names in the locale the process was started with.
QStringList sortedInDefaultLocale() {
    std::vector<std::unique_ptr<Kippet>> kippets;
    QList<Kippet*> list;
    for (const QString& name : names) {
        kippets.push_back(std::make_unique<Kippet>(QUuid::createUuid(), name, KippetColor(),
                                                   QStringLiteral("tray.fill"),
                                                   QDateTime::currentDateTimeUtc()));
        list.append(kippets.back().get());
    }
    QStringList sorted;
    for (const Kippet* kippet : KippetListing::sorted(list, SortOrder::alphabetical))
        sorted.append(kippet->name());
    return sorted;
}

int probe(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::puts(sortedInDefaultLocale().join(QLatin1Char('|')).toUtf8().constData());
    return 0;
}
} // namespace

// The alphabetical order as a user sees it, in a process started under each locale: the system's
// locale is read once, at start-up, so each case runs the test binary again as a child.
class AlphabeticalOrderTest : public QObject {
    Q_OBJECT
private slots:
    void sameOrderUnderEveryLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C.UTF-8") << "C.UTF-8";
        QTest::newRow("en_US.UTF-8") << "en_US.UTF-8";
        QTest::newRow("de_DE.UTF-8") << "de_DE.UTF-8";
    }
    void sameOrderUnderEveryLocale() {
        QFETCH(QString, locale);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(probeVariable, "1");
        environment.insert("LC_ALL", locale);
        environment.insert("LANG", locale);
        environment.remove("LANGUAGE");
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        const QString output = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
        QCOMPARE(output.split(QLatin1Char('|')), expected);
    }

    void caseAndAccentsSortBesideTheirLetter() {
        QCollator collator = KippetListing::nameCollator(QLocale::c());
        QCOMPARE(collator.compare("apple", "Apple"), 0);
        QVERIFY(collator.compare("Ärger", "banana") < 0);
        QVERIFY(collator.compare("école", "Dach") > 0);
        QVERIFY(collator.compare("école", "fig") < 0);
        QVERIFY(collator.compare("Item 10", "item 9") < 0);
        QVERIFY(collator.compare("Item 2", "Item 10") > 0);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(probeVariable))
        return probe(argc, argv);
    QCoreApplication app(argc, argv);
    AlphabeticalOrderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AlphabeticalOrderTest.moc"
