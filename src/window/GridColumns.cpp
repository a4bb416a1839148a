#include "window/GridColumns.h"

#include "platform/ClockTimer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {
constexpr double horizontalPadding = 32;
constexpr double minimumColumnWidth = 160;
constexpr double columnSpacing = 12;
} // namespace

GridColumns::GridColumns(QObject* parent) : QObject(parent), debounce_(new ClockTimer(this)) {
    debounce_->setSingleShot(true);
    debounce_->setInterval(std::chrono::milliseconds(resizeDebounceMs));
    connect(debounce_, &ClockTimer::timeout, this, &GridColumns::apply);
}

int GridColumns::columnCount(double width) {
    double usable = width - horizontalPadding;
    if (!(usable > 1))
        usable = 1;
    const double count =
        std::trunc((usable + columnSpacing) / (minimumColumnWidth + columnSpacing));
    return std::max(1, static_cast<int>(std::min(count, 1.0e6)));
}

bool GridColumns::isUsable(double width) {
    return std::isfinite(width) && width > 0;
}

bool GridColumns::isResizePending() const {
    return debounce_->isActive();
}

void GridColumns::initializeIfNeeded(double width) {
    if (!isUsable(width) || hasInitialized_)
        return;
    hasInitialized_ = true;
    setCount(columnCount(width), false);
}

void GridColumns::handleWidthChange(double width) {
    if (!isUsable(width))
        return;
    if (!hasInitialized_) {
        hasInitialized_ = true;
        setCount(columnCount(width), false);
        return;
    }
    cancelPendingResize();
    if (columnCount(width) == count_)
        return;
    pendingWidth_ = width;
    debounce_->restart();
    emit resizePendingChanged(true);
}

void GridColumns::cancelPendingResize() {
    if (!debounce_->isActive())
        return;
    debounce_->stop();
    emit resizePendingChanged(false);
}

void GridColumns::apply() {
    emit resizePendingChanged(false);
    setCount(columnCount(pendingWidth_), true);
}

void GridColumns::setCount(int count, bool animated) {
    if (std::exchange(count_, count) != count)
        emit countChanged(count, animated);
}
