#pragma once

#include <QIcon>
#include <QImage>

// The status item's icon. A tray may sit on a dark or a light panel whatever the app's own
// palette is, and tells nothing about it: the symbol is drawn light inside a dark outline, so
// it reads on either.
class TrayIconArt {
public:
    static QIcon icon();
    // The drawing at one size, in device pixels.
    static QImage image(int side);

    static constexpr QRgb fill = 0xFFF4F4F4;
    static constexpr QRgb outline = 0xFF1C1C1C;
};
