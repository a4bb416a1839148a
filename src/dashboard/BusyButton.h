#pragma once

#include "platform/Clock.h"

#include <QIcon>
#include <QPushButton>

class QPainter;

// A push button that can show a small spinning indicator while the work it started is under way:
// in place of its title and icon, or, given a busy title, as the icon beside that title. The
// spin runs on the Clock.
class BusyButton : public QPushButton {
    Q_OBJECT
public:
    explicit BusyButton(QWidget* parent = nullptr);

    void setBusy(bool busy);
    bool isBusy() const { return busy_; }
    // The title and icon shown while not busy.
    void setLabel(const QString& title, const QIcon& icon);
    QString title() const { return title_; }
    // Shown with the indicator beside it while busy; empty: the indicator alone.
    void setBusyTitle(const QString& title);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void scheduleTurn();
    void applyLabel();
    QIcon indicatorIcon() const;
    void paintIndicator(QPainter& painter, const QPointF& centre, qreal outer) const;

    bool busy_ = false;
    QString title_;
    QString busyTitle_;
    // The icon size to return to once the indicator beside the busy title has gone.
    QSize restingIconSize_;
    QIcon icon_;
    int phase_ = 0;
    ScheduledAction turn_;
};
