#include "TourFixture.h"

#include "onboarding/ConfettiPiece.h"
#include "onboarding/ConfettiView.h"
#include "onboarding/ConfettiWindow.h"
#include "platform/ScreenProvider.h"

#include <QPainter>
#include <QRandomGenerator>

namespace {
void advance(int milliseconds) {
    testClock().advance(std::chrono::milliseconds(milliseconds));
}

// The view's own painting on a transparent image, without the window's background.
int paintedPixels(QWidget* view) {
    QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    int painted = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    return painted;
}
} // namespace

class ConfettiTest : public QObject {
    Q_OBJECT
private slots:
    void piecesFallFromAboveTheTopToBelowTheBottomAndFade() {
        QRandomGenerator random(42);
        const QList<ConfettiPiece> pieces = ConfettiPiece::create(QSizeF(1440, 900), random);
        QCOMPARE(pieces.size(), 100);
        const QList<QColor> palette{QColor(255, 59, 48), QColor(255, 149, 0), QColor(255, 204, 0),
                                    QColor(52, 199, 89), QColor(0, 122, 255), QColor(175, 82, 222),
                                    QColor(255, 45, 85)};
        QSet<QRgb> colours;
        for (int i = 0; i < pieces.size(); ++i) {
            const ConfettiPiece& piece = pieces[i];
            QCOMPARE(piece.id, i);
            QVERIFY(piece.x >= 0 && piece.x <= 1440);
            QVERIFY(piece.size >= 8 && piece.size <= 16);
            QVERIFY(piece.delay >= 0 && piece.delay <= 0.5);
            QVERIFY(piece.endRotation >= 720 && piece.endRotation <= 1080);
            QVERIFY(palette.contains(piece.color));
            colours.insert(piece.color.rgb());

            const ConfettiPiece::Pose start = piece.at(0);
            QVERIFY(start.y >= -100 && start.y <= -50);
            QCOMPARE(start.opacity, 1.0);
            const ConfettiPiece::Pose end = piece.at(3.5);
            QCOMPARE(end.y, 950.0);
            QCOMPARE(end.opacity, 0.0);
            QCOMPARE(end.rotation, piece.endRotation);
            // Still waiting out its delay: nothing has moved yet.
            QCOMPARE(piece.at(piece.delay).y, start.y);
        }
        QCOMPARE(colours.size(), 7);

        // The same seed makes the same pieces: a frame is a function of time alone.
        QRandomGenerator again(42);
        const QList<ConfettiPiece> repeated = ConfettiPiece::create(QSizeF(1440, 900), again);
        QCOMPARE(repeated[99].x, pieces[99].x);
        QCOMPARE(repeated[99].at(1.7).rotation, pieces[99].at(1.7).rotation);

        // Ease in and out: slow at both ends, half way at half time.
        QCOMPARE(ConfettiPiece::easeInOut(0), 0.0);
        QCOMPARE(ConfettiPiece::easeInOut(1), 1.0);
        QVERIFY(qAbs(ConfettiPiece::easeInOut(0.5) - 0.5) < 1e-6);
        QVERIFY(ConfettiPiece::easeInOut(0.1) < 0.05);
        QVERIFY(ConfettiPiece::easeInOut(0.9) > 0.95);
    }

    void aFrameDrawsEachPieceWhereItsPoseSays() {
        QRandomGenerator random(7);
        const QList<ConfettiPiece> pieces = ConfettiPiece::create(QSizeF(800, 600), random);
        QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        ConfettiPiece::paint(painter, pieces, 1.5);
        painter.end();
        int checked = 0;
        for (const ConfettiPiece& piece : pieces) {
            const ConfettiPiece::Pose pose = piece.at(1.5);
            const QPoint centre(qRound(piece.x), qRound(pose.y));
            if (!image.rect().adjusted(8, 8, -8, -8).contains(centre)) {
                continue;
            }
            QVERIFY2(qAlpha(image.pixel(centre)) > 0, qPrintable(QString::number(piece.id)));
            ++checked;
        }
        QVERIFY(checked > 20);
        // At the end nothing is left on screen.
        image.fill(Qt::transparent);
        QPainter late(&image);
        ConfettiPiece::paint(late, pieces, 3.5);
        late.end();
        bool empty = true;
        for (int y = 0; y < image.height() && empty; y += 3) {
            for (int x = 0; x < image.width(); x += 3) {
                if (qAlpha(image.pixel(x, y)) > 0) {
                    empty = false;
                    break;
                }
            }
        }
        QVERIFY(empty);
    }

    void theOverlayCoversTheMainScreenLetsClicksThroughAndGoesAfterItsTime() {
        TourFixture tour;
        tour.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1440, 900), 25),
                                       FakeScreenProvider::screen(RectD(1440, 0, 1280, 800), 0)});
        QPointer<ConfettiWindow> window = ConfettiWindow::celebrate();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowTransparentForInput));
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(window->testAttribute(Qt::WA_ShowWithoutActivating));
        // The whole frame, panels included, of the main screen.
        QCOMPARE(window->geometry(),
                 ScreenProvider::shared().space().toQtRect(RectD(0, 0, 1440, 900)));
        QVERIFY(QApplication::activeWindow() != window);

        ConfettiView* view = window->view();
        QCOMPARE(view->pieces().size(), 100);
        QVERIFY(view->isAnimating());
        QCOMPARE(paintedPixels(view), 0);
        advance(1500);
        QVERIFY(paintedPixels(view) > 0);
        advance(1999);
        QVERIFY(window);
        QVERIFY(window->isVisible());
        advance(1);
        QVERIFY(!window || !window->isVisible());
        settle();
        QVERIFY(!window);
    }

    void noCompositorNoOverlay() {
        TourFixture tour;
        tour.compositor.compositing = false;
        LogCapture log;
        const int before = static_cast<int>(QApplication::topLevelWidgets().size());
        QCOMPARE(ConfettiWindow::celebrate(), nullptr);
        QCOMPARE(QApplication::topLevelWidgets().size(), before);
        QCOMPARE(log.lines(),
                 QStringList{QStringLiteral("🎉 [Confetti] No compositing manager runs: the "
                                            "celebration is skipped, as its window would black "
                                            "out the screen")});
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(!qobject_cast<ConfettiWindow*>(widget));
        }
    }
};

QTEST_MAIN(ConfettiTest)
#include "ConfettiTest.moc"
