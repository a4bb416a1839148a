#pragma once

#include "platform/ScreenProvider.h"

class QScreen;

// The screens Qt reports, converted to the app's coordinates.
class SystemScreenProvider : public ScreenProvider {
    Q_OBJECT
public:
    SystemScreenProvider();

    ScreenSpace space() const override;
    QPointF cursorPosition() const override;

protected:
    QList<ScreenInfo> reportedScreens() const override;
    std::optional<ScreenInfo> reportedMainScreen() const override;

private:
    ScreenInfo infoOf(const QScreen* screen) const;
    void watch(QScreen* screen);
};
