#pragma once

#include "platform/ScreenProvider.h"

class QScreen;

// The screens Qt reports, converted to the app's coordinates.
class SystemScreenProvider : public ScreenProvider {
    Q_OBJECT
public:
    SystemScreenProvider();

    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    ScreenSpace space() const override;
    QPointF cursorPosition() const override;

private:
    ScreenInfo infoOf(const QScreen* screen) const;
    void watch(QScreen* screen);
};
