#include "ui/Materials.h"
#include "editors/EditorTestSupport.h"
#include "editors/NoteEditorWindow.h"
#include "platform/Clock.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "ui/CompositorCheck.h"
#include "ui/CompositorWatch.h"
#include "ui/NamedColors.h"
#include "window/FloatingKippetWindow.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QRegion>
#include <QTest>
#include <QWindow>

using Theme::Backdrop;
using Theme::Material;

namespace {
// The compositor a test chooses: none, one that only blends, or one that blurs behind windows.
class ChosenCompositor : public CompositorCheck {
public:
    explicit ChosenCompositor(Backdrop backdrop) : backdrop_(backdrop) {
        install(this);
        CompositorWatch::shared().look();
    }
    ~ChosenCompositor() override {
        install(nullptr);
        CompositorWatch::shared().look();
    }

    // A compositor that starts or stops while the app runs.
    void choose(Backdrop backdrop) { backdrop_ = backdrop; }
    bool isCompositing() const override { return backdrop_ != Backdrop::opaque; }
    bool blursBehind() const override { return backdrop_ == Backdrop::blurred; }
    void requestBlurBehind(QWindow* window, const QRegion& region) override {
        requests.append({window, region});
    }

    struct Request {
        QWindow* window;
        QRegion region;
    };
    QList<Request> requests;

private:
    Backdrop backdrop_;
};

QPalette lightPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(236, 236, 236));
    palette.setColor(QPalette::WindowText, Qt::black);
    return palette;
}

// The largest difference of one channel between the two colours.
int channelDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// What the screen shows at `point` when the compositor blends the window's pixels over a
// background of one colour.
QColor shownOver(const QImage& window, QPoint point, const QColor& background) {
    QImage screen(window.size(), QImage::Format_ARGB32_Premultiplied);
    screen.setDevicePixelRatio(window.devicePixelRatio());
    screen.fill(background);
    {
        QPainter painter(&screen);
        painter.drawImage(QPoint(0, 0), window);
    }
    const qreal ratio = window.devicePixelRatio();
    return screen.pixelColor(QPoint(qRound(point.x() * ratio), qRound(point.y() * ratio)));
}

QColor blended(const QColor& fill, const QColor& background) {
    const double a = fill.alphaF();
    return QColor::fromRgbF(fill.redF() * a + background.redF() * (1 - a),
                            fill.greenF() * a + background.greenF() * (1 - a),
                            fill.blueF() * a + background.blueF() * (1 - a));
}
} // namespace

class MaterialsTest : public QObject {
    Q_OBJECT
private slots:
    void theFillFollowsWhatTheCompositorDoesBehindTheWindow() {
        const QPalette palette = lightPalette();
        double blendedAlpha[2] = {};
        double blurredAlpha[2] = {};
        for (Material material : {Material::ultraThin, Material::underWindowBackground}) {
            const int index = material == Material::ultraThin ? 0 : 1;
            {
                ChosenCompositor none(Backdrop::opaque);
                QCOMPARE(Theme::backdrop(), Backdrop::opaque);
                // Half way to white: a panel stands apart from the window behind it.
                QCOMPARE(Theme::windowFill(material, palette), QColor(246, 246, 246));
            }
            {
                ChosenCompositor blending(Backdrop::blended);
                QCOMPARE(Theme::backdrop(), Backdrop::blended);
                const QColor fill = Theme::windowFill(material, palette);
                QCOMPARE(fill.rgb(), QColor(246, 246, 246).rgb());
                blendedAlpha[index] = fill.alphaF();
                // Black text behind a white page differs from the page by at most 4 levels of
                // 255 through the material (a panel's backdrop: 2): a shade, not a line
                // to read.
                const QColor overText = blended(fill, Qt::black);
                const QColor overPage = blended(fill, Qt::white);
                QVERIFY2(channelDistance(overText, overPage) <
                             (material == Material::ultraThin ? 5 : 3),
                         qPrintable(QString::number(fill.alphaF())));
            }
            {
                ChosenCompositor blurring(Backdrop::blurred);
                QCOMPARE(Theme::backdrop(), Backdrop::blurred);
                const QColor fill = Theme::windowFill(material, palette);
                QCOMPARE(fill.rgb(), QColor(246, 246, 246).rgb());
                blurredAlpha[index] = fill.alphaF();
            }
        }
        // The blur softens what lies behind, so the material lets more of it through; the
        // ultra-thin material is the lighter of the two either way.
        QVERIFY(blurredAlpha[0] < blendedAlpha[0]);
        QVERIFY(blurredAlpha[1] < blendedAlpha[1]);
        QVERIFY(blendedAlpha[0] >= 0.9);
        QVERIFY(blurredAlpha[0] <= blurredAlpha[1]);
        QVERIFY(blendedAlpha[0] <= blendedAlpha[1]);
        QVERIFY(blurredAlpha[0] >= 0.5);

        // A dark window brightens only a little.
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(38, 38, 40));
        dark.setColor(QPalette::WindowText, QColor(242, 242, 247));
        ChosenCompositor none(Backdrop::opaque);
        QCOMPARE(Theme::windowFill(Material::ultraThin, dark), QColor(51, 51, 53));
    }

    void theBlurIsAskedForTheShapeDrawnAndOnlyOnce() {
        QWidget window;
        window.setAttribute(Qt::WA_TranslucentBackground);
        window.resize(200, 120);
        auto* child = new QWidget(&window);
        child->setGeometry(20, 10, 100, 60);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPainterPath shape;
        shape.addRoundedRect(QRectF(0, 0, 100, 60), 12, 12);

        ChosenCompositor blurring(Backdrop::blurred);
        Theme::blurBehind(child, shape);
        QCOMPARE(blurring.requests.size(), 1);
        QCOMPARE(blurring.requests[0].window, window.windowHandle());
        const qreal ratio = window.devicePixelRatioF();
        const QRegion region = blurring.requests[0].region;
        QCOMPARE(region.boundingRect(),
                 QRect(QPoint(20 * ratio, 10 * ratio), QSize(100 * ratio, 60 * ratio)));
        // The rounded corners stay clear; the middle is blurred.
        QVERIFY(!region.contains(QPoint(20 * ratio + 1, 10 * ratio + 1)));
        QVERIFY(region.contains(QPoint(70 * ratio, 40 * ratio)));

        // Painting the same shape again sends nothing to the display server.
        Theme::blurBehind(child, shape);
        QCOMPARE(blurring.requests.size(), 1);
        // A cut-out style asks for no blur: the request is withdrawn once.
        Theme::blurBehind(child, QPainterPath());
        Theme::blurBehind(child, QPainterPath());
        QCOMPARE(blurring.requests.size(), 2);
        QVERIFY(blurring.requests[1].region.isEmpty());
    }

    void withoutBlurNothingIsAskedOfTheCompositor() {
        QWidget window;
        window.resize(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPainterPath shape;
        shape.addRect(QRectF(0, 0, 100, 100));
        for (Backdrop backdrop : {Backdrop::opaque, Backdrop::blended}) {
            ChosenCompositor chosen(backdrop);
            Theme::blurBehind(&window, shape);
            QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            Theme::paintWindowMaterial(painter, &window, shape, Material::ultraThin);
            QVERIFY(chosen.requests.isEmpty());
        }
    }

    void aNoteEditorOverTheDesktopShowsItsMaterial() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Behind"));
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        QVERIFY(panel);
        const QColor window = panel->palette().color(QPalette::Window);
        // Inside the rounded chrome, clear of its border, its buttons and the note's text.
        const QPoint inside(panel->width() / 4, panel->height() - 40);
        for (Backdrop backdrop : {Backdrop::opaque, Backdrop::blended, Backdrop::blurred}) {
            ChosenCompositor chosen(backdrop);
            const QImage shot = panel->grab().toImage();
            const QColor fill =
                Theme::windowFill(Material::underWindowBackground, panel->palette(), backdrop);
            for (const QColor& background :
                 {QColor(Qt::black), QColor(Qt::white), QColor(200, 40, 40)}) {
                const QColor shown = shownOver(shot, inside, background);
                QVERIFY2(
                    channelDistance(shown, blended(fill, background)) <= 3,
                    qPrintable(QStringLiteral("%1 over %2").arg(shown.name(), background.name())));
            }
            if (backdrop == Backdrop::opaque)
                QCOMPARE(shownOver(shot, inside, Qt::black).rgb(), fill.rgb());
            if (backdrop == Backdrop::blended) {
                QVERIFY(channelDistance(shownOver(shot, inside, Qt::black),
                                        shownOver(shot, inside, Qt::white)) <= 2);
            }
            // Over a window of the plain window colour (the dashboard) the panel still shows,
            // focused or not.
            QVERIFY(channelDistance(shownOver(shot, inside, window), window) >= 4);
            if (backdrop == Backdrop::blurred) {
                QVERIFY(!chosen.requests.isEmpty());
                QCOMPARE(chosen.requests.last().window, panel->windowHandle());
                const qreal ratio = panel->devicePixelRatioF();
                QCOMPARE(chosen.requests.last().region.boundingRect(),
                         QRect(QPoint(0, 0), panel->size() * ratio));
            }
        }
    }

    void aKippetWindowShowsItsMaterialAtItsEdge() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Tile"));
        FloatingKippetWindow* window = app.registry().showWindow(kippet);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Between the rounded corners on the left edge, inside the border band.
        const QPoint edge(5, window->height() / 2);
        for (Backdrop backdrop : {Backdrop::opaque, Backdrop::blended}) {
            ChosenCompositor chosen(backdrop);
            window->update();
            const QImage shot = window->grab().toImage();
            const QColor fill =
                Theme::windowFill(Material::underWindowBackground, window->palette(), backdrop);
            const QColor overWhite = shownOver(shot, edge, Qt::white);
            const QColor overBlack = shownOver(shot, edge, Qt::black);
            QVERIFY2(channelDistance(overWhite, blended(fill, Qt::white)) <= 3,
                     qPrintable(overWhite.name()));
            QVERIFY2(channelDistance(overBlack, blended(fill, Qt::black)) <= 3,
                     qPrintable(overBlack.name()));
        }
    }

    // Without a compositor the transparent corners of a panel would come out black: the panel
    // and its editors are cut to their rounded shape, and the cut goes when a compositor starts
    // and comes back when it stops.
    void withoutACompositorPanelsAreCutToTheirRoundedShape() {
        AppHarness app;
        app.start();
        ChosenCompositor compositor(Backdrop::opaque);
        Kippet* kippet = app.addKippet(QStringLiteral("Cut"));
        FloatingKippetWindow* window = app.registry().showWindow(kippet);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* editor = EditorTest::open<NoteEditorWindow>(app, kippet);
        QVERIFY(editor);
        const QList<QWidget*> windows{window, editor};
        const auto checkCut = [](QWidget* widget) {
            const QRegion mask = widget->mask();
            const QString name = widget->metaObject()->className();
            QVERIFY2(!mask.isEmpty(), qPrintable(name));
            const int right = widget->width() - 1;
            const int bottom = widget->height() - 1;
            for (const QPoint corner : {QPoint(1, 1), QPoint(right - 1, 1), QPoint(1, bottom - 1),
                                        QPoint(right - 1, bottom - 1)})
                QVERIFY2(!mask.contains(corner), qPrintable(name));
            for (const QPoint edge :
                 {QPoint(widget->width() / 2, 0), QPoint(0, widget->height() / 2),
                  QPoint(right, widget->height() / 2), QPoint(widget->width() / 2, bottom)})
                QVERIFY2(mask.contains(edge), qPrintable(name));
        };
        for (QWidget* widget : windows)
            checkCut(widget);

        // The cut follows the panel's size.
        window->toggleExpanded();
        checkCut(window);

        compositor.choose(Backdrop::blended);
        testClock().advance(std::chrono::milliseconds(CompositorWatch::intervalMs));
        for (QWidget* widget : windows)
            QVERIFY2(widget->mask().isEmpty(), widget->metaObject()->className());

        compositor.choose(Backdrop::opaque);
        testClock().advance(std::chrono::milliseconds(CompositorWatch::intervalMs));
        for (QWidget* widget : windows)
            checkCut(widget);
    }
};

QTEST_MAIN(MaterialsTest)
#include "MaterialsTest.moc"
