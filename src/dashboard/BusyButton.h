#pragma once

#include "platform/Clock.h"

#include <QIcon>
#include <QPushButton>

// A push button that can show a small spinning indicator in place of its title and icon while
// the work it started is under way; it is disabled meanwhile. The spin runs on the Clock.
class BusyButton : public QPushButton {
    Q_OBJECT
public:
    explicit BusyButton(QWidget* parent = nullptr);

    void setBusy(bool busy);
    bool isBusy() const { return busy_; }
    // The title and icon shown while not busy.
    void setLabel(const QString& title, const QIcon& icon);
    QString title() const { return title_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void scheduleTurn();
    void applyLabel();

    bool busy_ = false;
    QString title_;
    QIcon icon_;
    int phase_ = 0;
    ScheduledAction turn_;
};
