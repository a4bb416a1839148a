#pragma once

#include "app/MenuBarManager.h"
#include "app/SyncAvailability.h"
#include "model/Kippet.h"
#include "model/OnboardingState.h"
#include "onboarding/OnboardingProgressDots.h"
#include "onboarding/OnboardingView.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Animations.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/GeometryPrinting.h"
#include "support/TestEnvironment.h"
#include "ui/CompositorCheck.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <memory>

// What the compositor check answers in a test.
class FixedCompositorCheck : public CompositorCheck {
public:
    bool isCompositing() const override { return compositing; }
    bool compositing = true;
};

// Counts the notifications of one name posted while it lives.
class NotificationCount : public QObject {
public:
    explicit NotificationCount(const QString& name) {
        NotificationCenter::shared().observe(name, this, [this](const auto&) { ++count; });
    }
    int count = 0;
};

// The app's data layer and window registry on a fake 1920 × 1080 screen, with animations off,
// and tour windows built on it.
class TourFixture {
public:
    TourFixture() {
        CompositorCheck::install(&compositor);
        SyncAvailability::setAvailable(false);
        app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1920, 1080), 0)});
        app.start();
    }
    ~TourFixture() {
        for (const QPointer<OnboardingWindow>& window : std::as_const(windows_)) {
            delete window.data();
        }
        SyncAvailability::setAvailable(false);
        CompositorCheck::install(nullptr);
    }

    OnboardingWindow* openTour() {
        auto* window = new OnboardingWindow;
        windows_.append(window);
        return window;
    }

    // A demo kippet held by the tour's state, among the open kippets with its panel shown, as the
    // hands-on step makes it.
    Kippet* addDemoKippet(OnboardingState* state) {
        auto* demo = new Kippet(QUuid::createUuid(), QStringLiteral("Demo Kippet 🎯"),
                                KippetColor{1, 0.58, 0, 1}, QStringLiteral("target"),
                                testClock().now(), state);
        demo->setIsDemoMode(true);
        app.manager().addDemoKippet(demo);
        state->setDemoKippet(demo);
        app.registry().showWindow(demo);
        return demo;
    }

    bool isOpen(const QUuid& id) {
        for (Kippet* kippet : app.manager().activeKippets()) {
            if (kippet->id() == id) {
                return true;
            }
        }
        return app.registry().registeredWindow(id) != nullptr;
    }

    FixedCompositorCheck compositor;
    AppHarness app;

private:
    QList<QPointer<OnboardingWindow>> windows_;
};

// Lets closed windows and replaced step views go, as the event loop would.
inline void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

template <typename T> T* visibleChild(QWidget* root, const QString& name) {
    for (T* child : root->findChildren<T*>(name)) {
        if (child->isVisibleTo(root)) {
            return child;
        }
    }
    return nullptr;
}

inline QPushButton* button(OnboardingWindow* window, const QString& text) {
    for (QPushButton* candidate : window->findChildren<QPushButton*>()) {
        if (candidate->text() == text && candidate->isVisibleTo(window)) {
            return candidate;
        }
    }
    return nullptr;
}

// Which dots are drawn in the accent colour, read from the painted widget.
inline QList<int> highlightedDots(OnboardingProgressDots* dots) {
    const QImage image = dots->grab().toImage();
    const QColor accent = dots->palette().color(QPalette::Highlight);
    QList<int> lit;
    for (int i = 0; i < dots->totalSteps(); ++i) {
        const QPointF centre = dots->dotCenter(i) * image.devicePixelRatio();
        if (image.pixelColor(centre.toPoint()).rgb() == accent.rgb()) {
            lit.append(i);
        }
    }
    return lit;
}
