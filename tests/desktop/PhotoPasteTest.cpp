#include "DesktopSession.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

namespace {
// A 48-megapixel photo as a camera's JPEG: a field of random colours enlarged to the whole
// picture, smooth, or under the fine grain of a photo taken in dim light. Each seed makes another.
QByteArray photo(quint32 seed, bool grain) {
    QRandomGenerator random(seed);
    QImage field(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < field.height(); ++y) {
        for (int x = 0; x < field.width(); ++x)
            field.setPixel(x, y, random.generate() | 0xff000000u);
    }
    QImage picture =
        field.scaled(QSize(8000, 6000), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (grain) {
        QImage noise(picture.size(), QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            random.fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
        QPainter painter(&picture);
        painter.setOpacity(0.08);
        painter.drawImage(0, 0, noise);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 85);
    return bytes;
}
} // namespace

// Large ordinary photos pasted with Ctrl+V into the built app are each stored as an item: the
// decoder's budgets stop hostile pictures, not a camera's.
class PhotoPasteTest : public QObject {
    Q_OBJECT
private slots:
    void largePhotosPastedAreEachStored() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        DesktopSession::Seed seed;
        seed.name = QStringLiteral("Inbox");
        seed.position = QPointF(120, 500);
        seed.expanded = true;
        desktop.seed({seed});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const DesktopSession::WindowId inbox = desktop.windowTitled(QStringLiteral("Inbox"));
        const QRect panel = desktop.geometry(inbox);
        QVERIFY(!panel.isEmpty());
        QVERIFY(desktop.clickGrabPoint(inbox));
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.activeWindow() == inbox; }),
                 qPrintable(desktop.title(desktop.activeWindow())));
        QVERIFY(desktop.appHasCaughtUp(inbox));

        // Eight distinct photos, smooth ones and grained ones by turns.
        constexpr int photos = 8;
        for (int photo = 0; photo < photos; ++photo) {
            const QString path = desktop.home() + QStringLiteral("/photo%1.jpg").arg(photo);
            {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                const QByteArray bytes = ::photo(100 + photo, photo % 2 == 1);
                QVERIFY2(bytes.size() > 1024 * 1024, qPrintable(QString::number(bytes.size())));
                file.write(bytes);
            }
            QCOMPARE(desktop.run(QStringLiteral("xclip"),
                                 {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                  QStringLiteral("-t"), QStringLiteral("image/jpeg"),
                                  QStringLiteral("-i"), path}),
                     0);
            QVERIFY(desktop.key(QStringLiteral("ctrl+v")));
            // One paste at a time: each is seen stored, or refused, before the next.
            QVERIFY2(DesktopSession::waitUntil(
                         [&] {
                             const QString output = desktop.appOutput();
                             return output.count(QStringLiteral("✅ Image added to kippet")) ==
                                        photo + 1 ||
                                    output.contains(QStringLiteral("falling through to Priority "
                                                                   "2"));
                         },
                         240000),
                     qPrintable(desktop.appOutput()));
            QVERIFY2(!desktop.appOutput().contains(QStringLiteral("falling through to Priority 2")),
                     qPrintable(desktop.appOutput()));
        }
        const QString output = desktop.appOutput();
        QCOMPARE(output.count(QStringLiteral("🎨 Creating image item")), photos);
        QVERIFY(desktop.isAppRunning());
    }
};

QTEST_GUILESS_MAIN(PhotoPasteTest)
#include "PhotoPasteTest.moc"
