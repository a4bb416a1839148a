#pragma once

#include "app/ColorChooser.h"

// The platform's colour dialog, window-modal over the asking window, without alpha: a kippet's
// colour is always opaque.
class DialogColorChooser : public ColorChooser {
public:
    void chooseColor(QWidget* parent, const QColor& initial, Chosen onChosen) override;
};
