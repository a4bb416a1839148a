#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// The tour's keys, seen before any widget of its window: Left and Right move the tour and
// Escape closes it, while a text-entry widget with the focus keeps its keys. It watches the
// whole application, because a focused button or checkbox takes the arrow keys for itself and
// never passes them on.
class OnboardingKeyFilter : public QObject {
    Q_OBJECT
public:
    // Lives as long as the window.
    explicit OnboardingKeyFilter(QWidget* window);
    ~OnboardingKeyFilter() override;

    // Line and text edits, spin boxes and fields that take typed text (the shortcut key fields).
    static bool keepsItsKeys(const QWidget* focus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
};
