#include "app/DialogColorChooser.h"
#include "app/WindowLevel.h"

#include <QColorDialog>

void DialogColorChooser::chooseColor(QWidget* parent, const QColor& initial, Chosen onChosen) {
    // Parented to the asking window, so it goes with it and never answers a window that is gone.
    auto* dialog = new QColorDialog(initial, parent);
    dialog->setOption(QColorDialog::ShowAlphaChannel, false);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    WindowLevel::makeModal(dialog);
    QObject::connect(dialog, &QColorDialog::colorSelected, dialog,
                     [onChosen = std::move(onChosen)](const QColor& color) {
                         if (color.isValid())
                             onChosen(color);
                     });
    dialog->open();
}
