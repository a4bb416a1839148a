#include "window/KippetContentStandIn.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "window/FloatingKippetWindow.h"

#include <QLabel>
#include <QVBoxLayout>

KippetContentStandIn::KippetContentStandIn(Kippet* kippet, FloatingKippetWindow* window)
    : QWidget(window), kippet_(kippet), window_(window), name_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    name_->setAlignment(Qt::AlignCenter);
    name_->setWordWrap(true);
    QFont font = name_->font();
    font.setWeight(QFont::DemiBold);
    name_->setFont(font);
    layout->addWidget(name_);
    updateName();
    connect(kippet, &Kippet::nameChanged, this, &KippetContentStandIn::updateName);
    connect(window, &FloatingKippetWindow::activeStateChanged, this, [this](bool isActive) {
        if (window_)
            window_->updateChromeBorder(isActive, false, displayColor());
    });
}

QColor KippetContentStandIn::displayColor() const {
    if (!kippet_)
        return Qt::transparent;
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

void KippetContentStandIn::updateName() {
    if (kippet_)
        name_->setText(kippet_->name());
}
