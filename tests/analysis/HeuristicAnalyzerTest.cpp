#include "analysis/HeuristicAnalyzer.h"

#include "support/TaskRunner.h"

#include <QCoroTask>
#include <QTest>

namespace {
KippetItem itemOf(KippetItemType type, const QString& name) {
    KippetItem item;
    item.type = type;
    item.metadata.name = name;
    return item;
}

KippetItem fileItem(const QString& name, std::optional<QString> extension) {
    KippetItem item = itemOf(KippetItemType::file, name);
    item.metadata.fileExtension = std::move(extension);
    item.content = "never read";
    return item;
}
} // namespace

class HeuristicAnalyzerTest : public QObject {
    Q_OBJECT
private slots:
    void files_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension"); // "<none>" for an item without one
        QTest::addColumn<ItemCategory>("category");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("tags");
        using C = ItemCategory;
        QTest::newRow("PDF in capitals")
            << "Report.PDF"
            << "PDF" << C::pdfs << "PDF: Report.PDF" << QStringList{"pdf", "document"};
        QTest::newRow("Numbers keeps its case")
            << "Budget.numbers"
            << "Numbers" << C::spreadsheets << "Spreadsheet: Budget.numbers"
            << QStringList{"spreadsheet", "data", "Numbers"};
        QTest::newRow("key is a presentation")
            << "Talk.key"
            << "key" << C::presentations << "Presentation: Talk.key"
            << QStringList{"presentation", "key"};
        QTest::newRow("ai is a design file") << "Logo.ai"
                                             << "ai" << C::designAssets << "Design file: Logo.ai"
                                             << QStringList{"design", "asset", "ai"};
        QTest::newRow("md is a document")
            << "README.md"
            << "md" << C::documents << "Document: README.md" << QStringList{"document", "md"};
        QTest::newRow("heic is an image")
            << "IMG_1.heic"
            << "heic" << C::images << "Image: IMG_1.heic" << QStringList{"image", "heic"};
        QTest::newRow("h is code") << "main.h"
                                   << "h" << C::code << "Code: main.h" << QStringList{"code", "h"};
        QTest::newRow("toml is code")
            << "Cargo.toml"
            << "TOML" << C::code << "Code: Cargo.toml" << QStringList{"code", "TOML"};
        QTest::newRow("flac is media")
            << "song.flac"
            << "flac" << C::media << "Media: song.flac" << QStringList{"media", "flac"};
        QTest::newRow("7z is an archive")
            << "a.7z"
            << "7z" << C::archives << "Archive: a.7z" << QStringList{"archive", "7z"};
        QTest::newRow("woff2 is a font") << "Inter.woff2"
                                         << "woff2" << C::designAssets << "Font: Inter.woff2"
                                         << QStringList{"font", "typography", "woff2"};
        QTest::newRow("blend is a 3D model")
            << "scene.blend"
            << "blend" << C::designAssets << "3D model: scene.blend"
            << QStringList{"3d", "model", "blend"};
        QTest::newRow("jpe matches nothing")
            << "x.jpe"
            << "jpe" << C::uncategorized << "File: x.jpe" << QStringList{"file", "jpe"};
        QTest::newRow("tgz matches nothing")
            << "x.tgz"
            << "tgz" << C::uncategorized << "File: x.tgz" << QStringList{"file", "tgz"};
        QTest::newRow("no partial match")
            << "x.pdfx"
            << "pdfx" << C::uncategorized << "File: x.pdfx" << QStringList{"file", "pdfx"};
        QTest::newRow("no extension")
            << "Makefile"
            << "<none>" << C::uncategorized << "File: Makefile" << QStringList{"file", ""};
    }

    void files() {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QFETCH(ItemCategory, category);
        QFETCH(QString, description);
        QFETCH(QStringList, tags);
        const KippetItem item = fileItem(
            name, extension == "<none>" ? std::nullopt : std::optional<QString>(extension));
        const ContentAnalysis analysis = heuristicAnalysis(item);
        QCOMPARE(analysis.category, category);
        QCOMPARE(analysis.description, description);
        QCOMPARE(analysis.tags, tags);
        QCOMPARE(analysis.confidence, 0.8);
        QVERIFY(!analysis.title && !analysis.customCategory);
        QCOMPARE(heuristicFileAnalysis(item), analysis);
    }

    void links_data() {
        QTest::addColumn<QString>("url"); // "<none>" for an item without one
        QTest::addColumn<QString>("description");
        QTest::newRow("host with www") << "https://www.example.com/a?b=1"
                                       << "Web link: www.example.com";
        QTest::newRow("host keeps its case") << "https://Docs.Example.ORG/x"
                                             << "Web link: Docs.Example.ORG";
        QTest::newRow("no host") << "mailto:someone@example.com"
                                 << "Web link: website";
        QTest::newRow("does not parse") << "http://exa mple.com"
                                        << "Web link: website";
        QTest::newRow("no URL string") << "<none>"
                                       << "Web link: website";
    }

    void links() {
        QFETCH(QString, url);
        QFETCH(QString, description);
        KippetItem item = itemOf(KippetItemType::url, "page");
        if (url != "<none>")
            item.metadata.urlString = url;
        const ContentAnalysis analysis = heuristicAnalysis(item);
        QCOMPARE(analysis.category, ItemCategory::links);
        QCOMPARE(analysis.description, description);
        QCOMPARE(analysis.tags, (QStringList{"link", "url", "website"}));
        QCOMPARE(analysis.confidence, 1.0);
    }

    void otherTypes_data() {
        QTest::addColumn<KippetItemType>("type");
        QTest::addColumn<ItemCategory>("category");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<double>("confidence");
        using T = KippetItemType;
        using C = ItemCategory;
        QTest::newRow("text") << T::text << C::notes << "Note" << QStringList{"note", "text"}
                              << 1.0;
        QTest::newRow("note") << T::note << C::notes << "Note" << QStringList{"note", "text"}
                              << 1.0;
        QTest::newRow("image") << T::image << C::images << "Image: shot.png" << QStringList{"image"}
                               << 1.0;
        QTest::newRow("color") << T::color << C::colors << "Color swatch"
                               << QStringList{"color", "design"} << 1.0;
        QTest::newRow("code") << T::code << C::code << "Code: shot.png" << QStringList{"code"}
                              << 1.0;
        QTest::newRow("unknown") << T::unknown << C::uncategorized << "Unknown content"
                                 << QStringList{} << 0.0;
    }

    void otherTypes() {
        QFETCH(KippetItemType, type);
        QFETCH(ItemCategory, category);
        QFETCH(QString, description);
        QFETCH(QStringList, tags);
        QFETCH(double, confidence);
        const ContentAnalysis analysis = heuristicAnalysis(itemOf(type, "shot.png"));
        QCOMPARE(analysis.category, category);
        QCOMPARE(analysis.description, description);
        QCOMPARE(analysis.tags, tags);
        QCOMPARE(analysis.confidence, confidence);
        QVERIFY(!analysis.title && !analysis.customCategory);
    }

    void analyzerIgnoresInstructionsAndAcceptsAnyScreening() {
        HeuristicAnalyzer analyzer;
        QCOMPARE(analyzer.capabilities().rawValue, AnalyzerCapabilities::all);
        QVERIFY(!analyzer.unavailableReason());
        const KippetItem item = fileItem("Report.pdf", "pdf");
        QCOMPARE(TaskRunner::finish(
                     analyzer.analyze(item, QString("Put PDFs in a bucket named Invoices"))),
                 heuristicAnalysis(item));
        QCOMPARE(TaskRunner::finish(analyzer.sanitize("Sort by client")),
                 QString("Sort by client"));
    }
};

Q_DECLARE_METATYPE(ItemCategory)
Q_DECLARE_METATYPE(KippetItemType)
QTEST_GUILESS_MAIN(HeuristicAnalyzerTest)
#include "HeuristicAnalyzerTest.moc"
