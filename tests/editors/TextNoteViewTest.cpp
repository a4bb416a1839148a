#include "editors/TextNoteView.h"
#include "support/TestFonts.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

// The text viewer as a user meets it: a fixed header over a scrolling text, "Copy" with the
// whole text, Return to close.
namespace {
KippetItem itemWith(const QByteArray& content, KippetItemType type = KippetItemType::text) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    return item;
}
} // namespace

class TextNoteViewTest : public QObject {
    Q_OBJECT
private slots:
    // The title's white pixels are counted, and a thin font may have none fully white: one font.
    void initTestCase() { TestFonts::useDejaVuSans(); }

    void aLongTextScrollsUnderAFixedHeader() {
        QByteArray long_;
        for (int line = 0; line < 200; ++line)
            long_ += "line " + QByteArray::number(line) + "\n";
        TextNoteView view(itemWith(long_, KippetItemType::note));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.size(), QSize(500, 400));
        QCOMPARE(view.windowModality(), Qt::WindowModal);
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("TextNoteTitle"))->text(),
                 QStringLiteral("Text Note"));
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copy"));
        QCOMPARE(view.doneButton()->text(), QStringLiteral("Done"));
        QVERIFY(view.doneButton()->isDefault());
        QCOMPARE(view.textLabel()->text(), QString::fromUtf8(long_));

        QScrollBar* bar = view.scrollArea()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        const QPoint headerAt = view.copyButton()->mapTo(&view, QPoint(0, 0));
        bar->setValue(bar->maximum());
        QCOMPARE(view.copyButton()->mapTo(&view, QPoint(0, 0)), headerAt);
        QVERIFY(view.textLabel()->mapTo(&view, QPoint(0, 0)).y() < 0);
    }

    void doneIsTheProminentButtonFilledWithTheAccent() {
        TextNoteView view(itemWith("jot"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QColor accent = view.palette().color(QPalette::Highlight);
        const auto countOf = [](const QImage& image, const QColor& colour) {
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    count += image.pixelColor(x, y) == colour;
            return count;
        };
        const QImage done = view.doneButton()->grab().toImage();
        const QImage copy = view.copyButton()->grab().toImage();
        // Most of "Done" is the accent, its title white; "Copy" stays a plain button.
        QVERIFY2(countOf(done, accent) > done.width() * done.height() / 2,
                 qPrintable(QString::number(countOf(done, accent))));
        QVERIFY(countOf(done, QColor(Qt::white)) > 0);
        QCOMPARE(countOf(copy, accent), 0);
    }

    void copyReplacesAnythingWithTheWholeText() {
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QApplication::clipboard()->setImage(picture);
        TextNoteView view(itemWith("first line\nsecond line"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // A selection is not what is copied.
        view.textLabel()->setSelection(0, 5);
        QTest::mouseClick(view.copyButton(), Qt::LeftButton);
        const QMimeData* data = QApplication::clipboard()->mimeData();
        QVERIFY(!data->hasImage());
        QCOMPARE(data->text(), QStringLiteral("first line\nsecond line"));
        QVERIFY(view.isVisible());
    }

    void bytesThatAreNotUtf8ShowAndCopyNothing() {
        QApplication::clipboard()->setText(QStringLiteral("old"));
        TextNoteView view(itemWith("\xff\xfe"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.textLabel()->text(), QString());
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("TextNoteTitle"))->text(),
                 QStringLiteral("Text Note"));
        QTest::mouseClick(view.copyButton(), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), QString());
    }

    void returnOrDoneCloses() {
        TextNoteView view(itemWith("code();", KippetItemType::code));
        QSignalSpy accepted(&view, &QDialog::accepted);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        // Also when the text has the focus.
        view.textLabel()->setFocus();
        QTest::keyClick(view.textLabel(), Qt::Key_Return);
        QCOMPARE(accepted.size(), 1);
        QVERIFY(!view.isVisible());

        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::mouseClick(view.doneButton(), Qt::LeftButton);
        QCOMPARE(accepted.size(), 2);
        QVERIFY(!view.isVisible());
    }
};

QTEST_MAIN(TextNoteViewTest)
#include "TextNoteViewTest.moc"
