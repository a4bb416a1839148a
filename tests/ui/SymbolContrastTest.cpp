#include "app/AppearancePalette.h"
#include "app/DailyKippet.h"
#include "dashboard/ColorSwatchGrid.h"
#include "editors/RoundSymbolButton.h"
#include "platform/NotificationCenter.h"
#include "tuck/TrayFixture.h"
#include "tuck/TuckAwayActionButton.h"
#include "tuck/TuckAwayKippetRow.h"
#include "tuck/TuckAwayPanel.h"
#include "ui/NamedColors.h"
#include "ui/SymbolNames.h"
#include "window/ActionButton.h"
#include "window/CollapsedLayout.h"
#include "window/CollapsedStateIndicator.h"
#include "window/KippetIconBadge.h"
#include "window/PanelDriver.h"

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
// of the symbol that differs from it most, the probe placed at `offset` of the grab.
double measuredIn(const QImage& shot, QPointF offset, const Probe& probe) {
    const qreal ratio = shot.devicePixelRatio();
    const QColor fill = shot.pixelColor(((probe.fill + offset) * ratio).toPoint());
    double best = 1;
    const QRect area =
        QRectF((probe.symbol.topLeft() + offset) * ratio, probe.symbol.size() * ratio)
            .toAlignedRect()
            .intersected(shot.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, Theme::contrast(shot.pixelColor(x, y), fill));
    }
    return best;
}

double measuredContrast(QWidget* widget, const Probe& probe) {
    return measuredIn(widget->grab().toImage(), QPointF(0, 0), probe);
}

// Every colour a kippet can take from the palette, and the daily kippet's of the appearance.
QList<QColor> kippetColors() {
    QList<QColor> colors;
    for (const KippetColor& color : ColorSwatchGrid::colorPalette())
        colors.append(color.toQColor());
    colors.append(dailyKippetColor());
    return colors;
}

// Measured on a grab of the whole window, so that what lies under the control counts.
double measuredOnWindow(QWidget* control, const Probe& probe) {
    QWidget* window = control->window();
    return measuredIn(window->grab().toImage(), control->mapTo(window, QPointF(0, 0)), probe);
}

// A glass button's circle beside its symbol, and the symbol's square.
Probe glassProbe(const ActionButton* button) {
    const QPointF centre = QRectF(button->rect()).center();
    return {centre - QPointF(12.5, 0), QRectF(centre - QPointF(8, 8), QSizeF(16, 16))};
}

// A badge's disc beside its symbol, where the glow beneath is at its fullest, and the symbol's
// square.
Probe badgeProbe(QRectF circle) {
    const QPointF centre = circle.center();
    const qreal symbol = circle.width() * 0.45;
    return {centre - QPointF(symbol / 2 + circle.width() * 0.07, 0),
            QRectF(centre - QPointF(symbol / 2, symbol / 2), QSizeF(symbol, symbol))};
}

void enter(QWidget* widget) {
    QEnterEvent event(QPointF(5, 5), widget->mapTo(widget->window(), QPointF(5, 5)),
                      widget->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(widget, &event);
}

void leave(QWidget* widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

// Each colour a kippet can show: the palette's, then the daily kippet's.
void eachKippetColour(Kippet* kippet, const std::function<void(const QString&)>& check) {
    for (const KippetColor& color : ColorSwatchGrid::colorPalette()) {
        kippet->setIsDailyKippet(false);
        kippet->setColor(color);
        check(color.toQColor().name());
        if (QTest::currentTestFailed())
            return;
    }
    kippet->setIsDailyKippet(true);
    check(QStringLiteral("daily ") + dailyKippetColor().name());
}

void expectLegible(double ratio, const QString& what) {
    QVERIFY2(ratio >= 3.0, qPrintable(QStringLiteral("%1: %2").arg(what).arg(ratio, 0, 'f', 2)));
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
            // Grabbed alone, it stands on the plain window colour.
            badge.setBackdrop(QApplication::palette().color(QPalette::Window));
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

    // The panel's row of round buttons, on the tile and on the expanded toolbar, at rest, under
    // the pointer and pressed; the note and todo buttons lit, as while their editors are open.
    void panelButtonsStandOutInEveryState_data() { symbolsOnAKippetsColourStandOut_data(); }
    void panelButtonsStandOutInEveryState() {
        QFETCH(bool, dark);
        Appearance appearance(dark);
        AppHarness app;
        PanelDriver::start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = PanelDriver::showActive(app, kippet);
        window->showNoteEditor();
        window->showTodoEditor();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const QStringList names{QStringLiteral("PasteButton"), QStringLiteral("NotesButton"),
                                QStringLiteral("ImportButton"), QStringLiteral("TodosButton")};
        for (const bool expanded : {false, true}) {
            if (expanded) {
                window->toggleExpanded();
                AppHarness::settle();
                QVERIFY(kippet->isExpanded());
            }
            const QString form = expanded ? QStringLiteral("toolbar") : QStringLiteral("tile");
            const auto buttons = [&] {
                QList<ActionButton*> found;
                QWidget* layout = PanelDriver::viewOf(window)->currentLayout();
                for (const QString& name : names) {
                    if (auto* collapsed = dynamic_cast<CollapsedLayout*>(layout))
                        found.append(collapsed->button(name));
                    else
                        found.append(layout->findChild<ActionButton*>(name));
                }
                return found;
            };
            QVERIFY(!buttons().contains(nullptr));
            eachKippetColour(kippet, [&](const QString& colour) {
                const QList<ActionButton*> row = buttons();
                QVERIFY(row[1]->isActive() && row[3]->isActive());
                QVERIFY(!row[0]->isActive() && !row[2]->isActive());
                for (ActionButton* button : row)
                    expectLegible(measuredOnWindow(button, glassProbe(button)),
                                  form + u' ' + button->objectName() + u' ' + colour);
                // Under the pointer: each button shows its own hover.
                if (auto* collapsed = dynamic_cast<CollapsedLayout*>(
                        PanelDriver::viewOf(window)->currentLayout()))
                    collapsed->revealButtons();
                for (ActionButton* button : row) {
                    enter(button);
                    QVERIFY(button->isHovering());
                    expectLegible(measuredOnWindow(button, glassProbe(button)),
                                  form + QStringLiteral(" hovered ") + button->objectName() + u' ' +
                                      colour);
                    // Held down: let go away from it, which is no click.
                    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(18, 18));
                    QVERIFY(button->isDown());
                    expectLegible(measuredOnWindow(button, glassProbe(button)),
                                  form + QStringLiteral(" pressed ") + button->objectName() + u' ' +
                                      colour);
                    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-40, -40));
                    leave(button);
                }
                QVERIFY(row[1]->isActive() && row[3]->isActive());
            });
            // The header's create and close buttons draw their round symbol on the tile itself.
            for (const QString& name :
                 {QStringLiteral("NewKippetButton"), QStringLiteral("CloseKippetButton")}) {
                QWidget* layout = PanelDriver::viewOf(window)->currentLayout();
                auto* collapsed = dynamic_cast<CollapsedLayout*>(layout);
                ActionButton* button =
                    collapsed ? collapsed->button(name) : layout->findChild<ActionButton*>(name);
                QVERIFY2(button, qPrintable(name));
                const Probe onTile{QPointF(1, 1), QRectF(3, 3, 18, 18)};
                expectLegible(measuredOnWindow(button, onTile), form + u' ' + name);
                enter(button);
                expectLegible(measuredOnWindow(button, onTile),
                              form + QStringLiteral(" hovered ") + name);
                leave(button);
            }
        }
    }

    // The kippet's icon badge on the tile, the mini tile and the expanded header, in an active
    // and an inactive window, and on the tray's row at rest and under the pointer.
    void badgesStandOutWhereTheyAreShown_data() { symbolsOnAKippetsColourStandOut_data(); }
    void badgesStandOutWhereTheyAreShown() {
        QFETCH(bool, dark);
        Appearance appearance(dark);
        TrayFixture f;
        QTRY_VERIFY(!f.app.localModel().isProbing());
        Kippet* kippet = f.app.addKippet(QStringLiteral("Inbox"), {100, 100});
        // One item, so that the tile shows the badge rather than its empty state.
        kippet->setNote(KippetNote{QStringLiteral("a note"), kippet->createdDate(), std::nullopt});
        FloatingKippetWindow* window = PanelDriver::showActive(f.app, kippet);
        const auto checkPanel = [&](const QString& form) {
            eachKippetColour(kippet, [&](const QString& colour) {
                QRectF circle;
                QWidget* on = nullptr;
                KippetIconBadge* badge = nullptr;
                for (KippetIconBadge* shown : window->findChildren<KippetIconBadge*>()) {
                    if (shown->isVisibleTo(window))
                        badge = shown;
                }
                if (badge) {
                    on = badge;
                    circle = badge->circleRect();
                } else {
                    // The tile draws its badge itself, 56 points wide, above the name, and the
                    // count's bubble on the badge's corner; where, follows the name's font. The
                    // bubble's disc left of the digit, and the digit's square.
                    CollapsedStateIndicator* status = nullptr;
                    for (CollapsedStateIndicator* shown :
                         window->findChildren<CollapsedStateIndicator*>()) {
                        if (shown->isVisibleTo(window))
                            status = shown;
                    }
                    QVERIFY(status);
                    on = status;
                    circle = status->badgeCircle();
                    const QPointF bubble = status->bubbleFrame().topLeft();
                    const Probe count{bubble + QPointF(4, 11),
                                      QRectF(bubble + QPointF(7, 5), QSizeF(9, 12))};
                    expectLegible(measuredOnWindow(status, count),
                                  form + QStringLiteral(" count ") + colour);
                }
                expectLegible(measuredOnWindow(on, badgeProbe(circle)), form + u' ' + colour);
            });
        };
        for (const bool active : {true, false}) {
            NotificationCenter::shared().post(
                QStringLiteral("KippetWindowActiveStateChanged"), {},
                {{QStringLiteral("kippetId"), QVariant::fromValue(kippet->id())},
                 {QStringLiteral("isActive"), active}});
            const QString state = active ? QStringLiteral("active") : QStringLiteral("inactive");
            checkPanel(state + QStringLiteral(" tile"));
            window->toggleMiniView();
            AppHarness::settle();
            checkPanel(state + QStringLiteral(" mini tile"));
            window->toggleMiniView();
            window->toggleExpanded();
            AppHarness::settle();
            checkPanel(state + QStringLiteral(" header"));
            window->toggleExpanded();
            AppHarness::settle();
        }

        kippet->setIsDailyKippet(false);
        TuckAwayWindow* tray = f.tuck();
        QVERIFY(tray);
        TrayFixture::clickTab(tray);
        TuckAwayKippetRow* row = tray->view()->panel()->rows().value(0);
        QVERIFY(row);
        for (const bool hovered : {false, true}) {
            if (hovered)
                enter(row);
            eachKippetColour(kippet, [&](const QString& colour) {
                auto* badge = row->findChild<KippetIconBadge*>();
                QVERIFY(badge);
                expectLegible(measuredOnWindow(badge, badgeProbe(badge->circleRect())),
                              QLatin1String(hovered ? "hovered " : "") +
                                  QStringLiteral("tray row ") + colour);
            });
        }
    }
};

QTEST_MAIN(SymbolContrastTest)
#include "SymbolContrastTest.moc"
