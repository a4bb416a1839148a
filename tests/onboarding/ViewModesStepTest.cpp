#include "TourFixture.h"

#include "model/KeyboardShortcuts.h"
#include "onboarding/ShortcutBadge.h"
#include "onboarding/ViewModeCard.h"
#include "onboarding/ViewModePreview.h"
#include "onboarding/ViewModesStepView.h"
#include "platform/Preferences.h"

#include <QLabel>
#include <QSignalSpy>

using Piece = ViewModePreview::Piece;

namespace {
QStringList contents(const QList<Piece>& pieces, Piece::Kind kind) {
    QStringList found;
    for (const Piece& piece : pieces) {
        if (piece.kind == kind) {
            found.append(piece.content);
        }
    }
    return found;
}

const Piece* pieceWith(const QList<Piece>& pieces, const QString& content) {
    for (const Piece& piece : pieces) {
        if (piece.content == content) {
            return &piece;
        }
    }
    return nullptr;
}

ViewModesStepView* showViewModes(OnboardingWindow* window) {
    window->state()->setCurrentStep(3);
    settle();
    return qobject_cast<ViewModesStepView*>(window->view()->stepView());
}

QList<KippetViewMode> highlighted(ViewModesStepView* step) {
    QList<KippetViewMode> lit;
    for (ViewModeCard* card : step->cards()) {
        if (card->isSelected()) {
            lit.append(card->mode());
        }
    }
    return lit;
}

void advance(int milliseconds) {
    testClock().advance(std::chrono::milliseconds(milliseconds));
}
} // namespace

class ViewModesStepTest : public QObject {
    Q_OBJECT
private slots:
    void previewsDrawOneMockWithItsCaption() {
        ViewModePreview preview(KippetViewMode::mini);
        preview.resize(700, ViewModePreview::preferredHeight);

        QList<Piece> pieces = preview.pieces();
        QCOMPARE(contents(pieces, Piece::Kind::text),
                 QStringList({"3", QStringLiteral("80 × 80 pixels")}));
        QCOMPARE(contents(pieces, Piece::Kind::symbol), QStringList{"folder.fill"});
        // The count sits on the circle's upper right, on red.
        const QRectF circle = pieces[0].rect;
        QCOMPARE(circle.size(), QSizeF(80, 80));
        const QPointF badgeCentre = pieceWith(pieces, QStringLiteral("3"))->rect.center();
        QVERIFY(qAbs(badgeCentre.x() - (circle.center().x() + 28)) < 1);
        QVERIFY(qAbs(badgeCentre.y() - (circle.center().y() - 28)) < 1);
        const QImage painted = preview.grab().toImage();
        const QColor red = painted.pixelColor((badgeCentre + QPointF(-7, 0)).toPoint() *
                                              painted.devicePixelRatio());
        QVERIFY2(red.red() > 200 && red.green() < 120 && red.blue() < 120, qPrintable(red.name()));

        preview.setMode(KippetViewMode::collapsed);
        pieces = preview.pieces();
        QCOMPARE(contents(pieces, Piece::Kind::text),
                 QStringList({"My Kippet", QStringLiteral("220 × 200 pixels")}));
        QCOMPARE(contents(pieces, Piece::Kind::symbol),
                 QStringList({"folder.fill", "xmark", "doc.on.clipboard", "note.text",
                              "square.and.arrow.down", "checklist"}));
        QCOMPARE(pieces[0].rect.size(), QSizeF(220, 200));

        preview.setMode(KippetViewMode::expanded);
        pieces = preview.pieces();
        QCOMPARE(contents(pieces, Piece::Kind::text),
                 QStringList({"My Kippet", "Item 1", "Item 2", "Item 3", "Item 4", "Item 5",
                              "Item 6", QStringLiteral("600 × 500 pixels (scaled to fit)")}));
        QCOMPARE(contents(pieces, Piece::Kind::symbol),
                 QStringList({"folder.fill", "xmark", "minus.square", "doc.text.fill", "photo.fill",
                              "link", "paintpalette", "chevron.left.forwardslash.chevron.right",
                              "bookmark.fill", "doc.on.clipboard", "note.text",
                              "square.and.arrow.down", "checklist"}));
        const QRectF mock = pieces[0].rect;
        QCOMPARE(mock.size(), QSizeF(400, 260));
        // As many columns of at least 80 as the mock's width holds: four, then two below.
        const QRectF first = pieceWith(pieces, QStringLiteral("Item 1"))->rect;
        const QRectF fourth = pieceWith(pieces, QStringLiteral("Item 4"))->rect;
        const QRectF fifth = pieceWith(pieces, QStringLiteral("Item 5"))->rect;
        QCOMPARE(fourth.center().y(), first.center().y());
        QVERIFY(fifth.center().y() > first.center().y());
        QCOMPARE(fifth.center().x(), first.center().x());
        QVERIFY((fourth.center().x() - first.center().x()) / 3 >= 80);
        // The grid scrolls inside the mock; the caption stays under it, unclipped.
        const Piece* caption =
            pieceWith(pieces, QStringLiteral("600 × 500 pixels (scaled to fit)"));
        QVERIFY(!caption->clip.isValid());
        QVERIFY(caption->rect.top() >= mock.bottom() + 8 - 0.5);
        QVERIFY(mock.contains(pieceWith(pieces, QStringLiteral("Item 5"))->clip));

        // The mock window takes the palette's window colour, the header the controls' colour.
        QCOMPARE(pieces[0].brush.color(), preview.palette().color(QPalette::Window));
        QCOMPARE(pieces[1].brush.color(), preview.palette().color(QPalette::Base));
    }

    void rotationStepsEveryThreeSecondsUntilACardIsClicked() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        ViewModesStepView* step = showViewModes(window);
        OnboardingState* state = window->state();
        QCOMPARE(state->previewMode(), KippetViewMode::collapsed);
        QCOMPARE(highlighted(step), QList<KippetViewMode>{KippetViewMode::collapsed});

        advance(2999);
        QCOMPARE(state->previewMode(), KippetViewMode::collapsed);
        advance(1);
        QCOMPARE(state->previewMode(), KippetViewMode::expanded);
        QCOMPARE(step->preview()->mode(), KippetViewMode::expanded);
        QCOMPARE(highlighted(step), QList<KippetViewMode>{KippetViewMode::expanded});
        advance(3000);
        QCOMPARE(state->previewMode(), KippetViewMode::mini);
        advance(3000);
        QCOMPARE(state->previewMode(), KippetViewMode::collapsed);
        QCOMPARE(highlighted(step), QList<KippetViewMode>{KippetViewMode::collapsed});

        // A click on the card already selected changes nothing but the rotation.
        QSignalSpy changes(state, &OnboardingState::previewModeChanged);
        QTest::mouseClick(step->cards()[1], Qt::LeftButton);
        QCOMPARE(changes.count(), 0);
        QVERIFY(!step->autoRotate());
        advance(10000);
        QCOMPARE(state->previewMode(), KippetViewMode::collapsed);
        QCOMPARE(changes.count(), 0);

        // Another card selects its mode, and the rotation stays stopped.
        QTest::mouseClick(step->cards()[0], Qt::LeftButton);
        QCOMPARE(state->previewMode(), KippetViewMode::mini);
        QCOMPARE(highlighted(step), QList<KippetViewMode>{KippetViewMode::mini});
        advance(10000);
        QCOMPARE(state->previewMode(), KippetViewMode::mini);
        // The cards are for the mouse: none takes the keyboard focus.
        for (ViewModeCard* card : step->cards()) {
            QCOMPARE(card->focusPolicy(), Qt::NoFocus);
        }
    }

    void rotationPausesOffTheStepAndResumesWithOneTimer() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        showViewModes(window);
        OnboardingState* state = window->state();
        advance(3000);
        QCOMPARE(state->previewMode(), KippetViewMode::expanded);

        QSignalSpy changes(state, &OnboardingState::previewModeChanged);
        state->setCurrentStep(4);
        settle();
        advance(20000);
        QCOMPARE(changes.count(), 0);

        // Back on the step, from the mode last shown, one step every period.
        ViewModesStepView* step = showViewModes(window);
        QVERIFY(step->autoRotate());
        advance(2999);
        QCOMPARE(changes.count(), 0);
        advance(1);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(state->previewMode(), KippetViewMode::mini);
        // Shown again without being rebuilt (a window hidden and shown): still one timer.
        window->hide();
        window->show();
        advance(3000);
        QCOMPARE(changes.count(), 2);
        QCOMPARE(state->previewMode(), KippetViewMode::collapsed);

        // Closing the tour ends the rotation.
        QPointer<ViewModesStepView> alive(step);
        window->close();
        advance(6000);
        QCOMPARE(changes.count(), 2);
        settle();
        QVERIFY(!alive);
        advance(6000);
    }

    void badgesTeachTheDefaultKeys() {
        TourFixture tour;
        KeyboardShortcuts own;
        own.expand = QStringLiteral("x");
        own.mini = QStringLiteral("y");
        Preferences::shared().setData(KeyboardShortcuts::preferenceKey, own.toJsonBytes());
        OnboardingWindow* window = tour.openTour();
        QCOMPARE(window->state()->customShortcuts().expand, QStringLiteral("x"));
        ViewModesStepView* step = showViewModes(window);
        QStringList keys;
        QStringList descriptions;
        for (ShortcutBadge* badge : step->findChildren<ShortcutBadge*>()) {
            keys.append(badge->key());
            descriptions.append(badge->description());
        }
        QCOMPARE(keys, QStringList({"E", "M", "C"}));
        QCOMPARE(descriptions, QStringList({"Toggle expand/collapse", "Toggle mini view",
                                            "Collapse when expanded"}));
    }

    void theStackSpacingHoldsAroundTheFlexibleSpace() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        ViewModesStepView* step = showViewModes(window);
        const auto top = [step](const QWidget* widget) {
            return widget->mapTo(step, QPoint()).y();
        };
        const auto bottom = [&top](const QWidget* widget) {
            return top(widget) + widget->height();
        };
        const auto label = [step](const QString& text) -> QLabel* {
            for (QLabel* candidate : step->findChildren<QLabel*>())
                if (candidate->text() == text)
                    return candidate;
            return nullptr;
        };
        QLabel* subtitle = label("Kippets adapt to your workflow with flexible view modes");
        QLabel* previewLabel = label("Preview");
        QLabel* shortcutsLabel = label("Keyboard Shortcuts");
        QVERIFY(subtitle && previewLabel && shortcutsLabel);
        int cardsTop = step->height();
        int cardsBottom = 0;
        for (ViewModeCard* card : step->cards()) {
            cardsTop = std::min(cardsTop, top(card));
            cardsBottom = std::max(cardsBottom, bottom(card));
        }
        auto* preview = step->findChild<ViewModePreview*>();
        // 20 above and below the flexible space, 20 between the cards, the preview and the
        // shortcuts (whose stack is padded 8 more).
        QVERIFY2(cardsTop - bottom(subtitle) >= 40,
                 qPrintable(QString::number(cardsTop - bottom(subtitle))));
        QCOMPARE(top(previewLabel) - cardsBottom, 20);
        QCOMPARE(top(shortcutsLabel) - bottom(preview), 20 + 8);
        // The tour is too short for the full preview: it gives way, and draws its mock smaller.
        QVERIFY(preview->height() >= ViewModesStepView::minimumPreviewHeight);
        QVERIFY(preview->height() <= ViewModePreview::preferredHeight);
        // Everything fits: the badges end inside the step, 20 and 8 above its end at least.
        for (ShortcutBadge* badge : step->findChildren<ShortcutBadge*>())
            QVERIFY2(step->height() - bottom(badge) >= 28,
                     qPrintable(QString::number(step->height() - bottom(badge))));
    }
};

QTEST_MAIN(ViewModesStepTest)
#include "ViewModesStepTest.moc"
