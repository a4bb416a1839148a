#pragma once

#include "onboarding/ConfettiPiece.h"

#include <QDateTime>
#include <QWidget>

class ClockTimer;

// The falling confetti. The pieces are made once, from the view's size, when it first comes on
// screen; after that each frame is painted from the time alone. Mouse events pass through.
class ConfettiView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds frameInterval{16};

    // `seed` makes the pieces; tests pass one to know them.
    explicit ConfettiView(quint32 seed, QWidget* parent = nullptr);

    const QList<ConfettiPiece>& pieces() const { return pieces_; }
    // Seconds since the pieces were made, on the shared clock.
    double elapsedSeconds() const;
    bool isAnimating() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    quint32 seed_;
    QList<ConfettiPiece> pieces_;
    QDateTime start_;
    ClockTimer* frames_;
};
