#pragma once

#include <QEasingCurve>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <chrono>

class ClockAnimation;

// Lets a widget change its whole look at once, symbol, texts and colours alike: a picture of
// the old look, laid over the widget, fades out while the widget itself fades in with its new
// look. Steps on the Clock; with animations off, or off screen, the new look shows at once.
class CrossFade : public QWidget {
    Q_OBJECT
public:
    // Lies over `target`, in the target's parent.
    explicit CrossFade(QWidget* target);

    // Keeps a picture of the target as it looks now; call before changing it.
    void capture();
    // Fades from the captured picture to the target's new look over `span`.
    void start(std::chrono::milliseconds span, const QEasingCurve& curve);
    bool isRunning() const;
    // How far the new look is in: 0 at the start, 1 once it shows alone.
    qreal progress() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stepped();
    void finish();
    void follow();

    QPointer<QWidget> target_;
    QPixmap before_;
    ClockAnimation* animation_;
};
