#include "app/ColorChooser.h"

#include "app/DialogColorChooser.h"

namespace {
ColorChooser*& installedChooser() {
    static ColorChooser* chooser = nullptr;
    return chooser;
}
} // namespace

ColorChooser& ColorChooser::shared() {
    static DialogColorChooser fallback;
    return installedChooser() ? *installedChooser() : fallback;
}

void ColorChooser::install(ColorChooser* chooser) {
    installedChooser() = chooser;
}
