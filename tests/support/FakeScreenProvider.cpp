#include "support/FakeScreenProvider.h"

FakeScreenProvider::FakeScreenProvider() {
    screens_ = {screen(RectD(0, 0, 1440, 900))};
}

ScreenInfo FakeScreenProvider::screen(const RectD& frame, double menuBar) {
    return ScreenInfo{frame, RectD(frame.x, frame.y, frame.width, frame.height - menuBar)};
}

void FakeScreenProvider::setScreens(const QList<ScreenInfo>& screens) {
    screens_ = screens;
    emit screensChanged();
}

std::optional<ScreenInfo> FakeScreenProvider::reportedMainScreen() const {
    if (screens_.isEmpty())
        return std::nullopt;
    if (mainIndex_ && *mainIndex_ < screens_.size())
        return screens_[*mainIndex_];
    return screens_.first();
}

ScreenSpace FakeScreenProvider::space() const {
    if (screens_.isEmpty())
        return ScreenSpace();
    const RectD primary = screens_.first().frame;
    return ScreenSpace(QRectF(0, 0, primary.width, primary.height));
}
