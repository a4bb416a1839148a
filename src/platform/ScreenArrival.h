#pragma once

#include <QObject>
#include <functional>

// Runs an action once, at the first screen change that leaves a screen to show windows on: a
// window opened while no monitor was active is placed when one comes. It goes with its owner,
// so an action never outlives the window it places. GUI thread only.
class ScreenArrival : public QObject {
    Q_OBJECT
public:
    static void whenScreenAppears(QObject* owner, std::function<void()> action);

private:
    ScreenArrival(QObject* owner, std::function<void()> action);
    void screensChanged();

    std::function<void()> action_;
};
