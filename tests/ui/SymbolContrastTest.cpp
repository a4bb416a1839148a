#include "app/AppearancePalette.h"
#include "app/DailyKippet.h"
#include "dashboard/ColorSwatchGrid.h"
#include "editors/RoundSymbolButton.h"
#include "tuck/TuckAwayActionButton.h"
#include "ui/NamedColors.h"
#include "ui/SymbolNames.h"
#include "window/KippetIconBadge.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <memory>

namespace {
// Where a round control's fill shows beside its symbol, and the square the symbol lies in, in
// the widget's points.
struct Probe {
    QPointF fill;
    QRectF symbol;
};

// How well the symbol stands out from its fill on screen: the fill's pixel against the pixel
// of the symbol that differs from it most.
double measuredContrast(QWidget* widget, const Probe& probe) {
    const QImage shot = widget->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    const QColor fill = shot.pixelColor((probe.fill * ratio).toPoint());
    double best = 1;
    const QRect area = QRectF(probe.symbol.topLeft() * ratio, probe.symbol.size() * ratio)
                           .toAlignedRect()
                           .intersected(shot.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, Theme::contrast(shot.pixelColor(x, y), fill));
    }
    return best;
}

// Every colour a kippet can take from the palette, and the daily kippet's of the appearance.
QList<QColor> kippetColors() {
    QList<QColor> colors;
    for (const KippetColor& color : ColorSwatchGrid::colorPalette())
        colors.append(color.toQColor());
    colors.append(dailyKippetColor());
    return colors;
}

class Appearance {
public:
    explicit Appearance(bool dark) : original_(QApplication::palette()) {
        if (dark)
            QApplication::setPalette(darkAppearancePalette());
    }
    ~Appearance() { QApplication::setPalette(original_); }

private:
    QPalette original_;
};

void checkAll(const char* what, QWidget* widget, const Probe& probe,
              const std::function<void(const QColor&)>& paintIn) {
    for (const QColor& color : kippetColors()) {
        paintIn(color);
        const double ratio = measuredContrast(widget, probe);
        QVERIFY2(ratio >= 3.0, qPrintable(QStringLiteral("%1 on %2: %3")
                                              .arg(QLatin1String(what), color.name())
                                              .arg(ratio, 0, 'f', 2)));
    }
}
} // namespace

class SymbolContrastTest : public QObject {
    Q_OBJECT
private slots:
    void contrastFollowsTheStandardFormula() {
        QCOMPARE(Theme::contrast(Qt::black, Qt::white), 21.0);
        QCOMPARE(Theme::contrast(QColor(0, 122, 255), QColor(0, 122, 255)), 1.0);
        // The standard blue against white, as the formula's tables give it.
        QVERIFY(qAbs(Theme::contrast(QColor(0, 122, 255), Qt::white) - 4.02) < 0.01);
    }

    // The editors' round buttons and the tray row's lit note and todo buttons draw their symbol
    // on the kippet's colour; the daily kippet's white of the dark appearance included.
    void symbolsOnAKippetsColourStandOut_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void symbolsOnAKippetsColourStandOut() {
        QFETCH(bool, dark);
        Appearance appearance(dark);
        const int margin = RoundSymbolButton::shadowMargin;
        const QPointF centre(margin + 16, margin + 16);
        const Probe round{centre - QPointF(12.5, 0),
                          QRectF(centre - QPointF(8, 8), QSizeF(16, 16))};
        for (const QString& symbol : {SymbolNames::checkmark, SymbolNames::plus}) {
            RoundSymbolButton button(symbol, RoundSymbolButton::Fill::accent);
            checkAll("round button", &button, round,
                     [&button](const QColor& color) { button.setAccentColor(color); });
        }

        const Probe tray{QPointF(3.5, 12), QRectF(6, 6, 12, 12)};
        for (const QString& symbol : {SymbolNames::noteText, SymbolNames::checklist}) {
            TuckAwayActionButton button(symbol);
            checkAll("tray button", &button, tray,
                     [&button](const QColor& color) { button.setActive(true, color); });
        }
    }

    // A kippet's own icon on its pale disc, as the panel header and the tray rows show it.
    void kippetIconsStandOutFromTheirDisc_data() { symbolsOnAKippetsColourStandOut_data(); }
    void kippetIconsStandOutFromTheirDisc() {
        QFETCH(bool, dark);
        Appearance appearance(dark);
        for (const bool active : {true, false}) {
            KippetIconBadge badge(Qt::blue, SymbolNames::folderFill, active, 28);
            const QPointF centre = badge.circleRect().center();
            const Probe disc{centre + QPointF(-9, -3),
                             QRectF(centre - QPointF(5, 5), QSizeF(10, 10))};
            checkAll(active ? "active badge" : "badge", &badge, disc,
                     [&badge](const QColor& color) { badge.setColor(color); });
        }
        // The cutout tray is black whatever the appearance: its white icons stay white.
        KippetIconBadge white(Qt::white, SymbolNames::folderFill, true, 28);
        white.setBackdrop(Qt::black);
        const QPointF centre = white.circleRect().center();
        const QImage shot = white.grab().toImage();
        QCOMPARE(shot.pixelColor((centre * shot.devicePixelRatio()).toPoint()), QColor(Qt::white));
    }
};

QTEST_MAIN(SymbolContrastTest)
#include "SymbolContrastTest.moc"
