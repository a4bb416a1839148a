#pragma once

class QApplication;
class QPalette;

// The app's look: the Fusion style with a light palette, or a dark one when the environment
// variable KIPPETS_PALETTE is "dark".
void applyAppearancePalette(QApplication& app);

// The dark palette, also for parts drawn dark whatever the appearance.
QPalette darkAppearancePalette();
