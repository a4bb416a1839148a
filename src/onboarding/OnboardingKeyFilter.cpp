#include "onboarding/OnboardingKeyFilter.h"

#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

OnboardingKeyFilter::OnboardingKeyFilter(QWidget* window) : QObject(window), window_(window) {
    qApp->installEventFilter(this);
}

OnboardingKeyFilter::~OnboardingKeyFilter() {
    qApp->removeEventFilter(this);
}

bool OnboardingKeyFilter::keepsItsKeys(const QWidget* focus) {
    if (!focus) {
        return false;
    }
    return focus->testAttribute(Qt::WA_InputMethodEnabled) ||
           qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
           qobject_cast<const QPlainTextEdit*>(focus) ||
           qobject_cast<const QAbstractSpinBox*>(focus);
}

bool OnboardingKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !window_ || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != window_) {
        return false;
    }
    // A text field keeps every key; an Escape it does not use reaches the window itself.
    if (keepsItsKeys(window_->focusWidget())) {
        return false;
    }
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Escape:
        window_->close();
        return true;
    case Qt::Key_Left:
        NotificationCenter::shared().post(NotificationName::onboardingGoBack);
        return true;
    case Qt::Key_Right:
        NotificationCenter::shared().post(NotificationName::onboardingGoNext);
        return true;
    default:
        return false;
    }
}
