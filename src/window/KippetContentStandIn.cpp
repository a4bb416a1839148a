#include "window/KippetContentStandIn.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
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
    const QUuid id = kippet->id();
    NotificationCenter::shared().observe(
        NotificationName::kippetWindowActiveStateChanged, this,
        [this, id](const NotificationCenter::Notification& note) {
            const QVariant kippetId = note.userInfo.value(UserInfoKey::kippetId);
            if (kippetId.metaType() != QMetaType::fromType<QUuid>() || kippetId.toUuid() != id)
                return;
            if (window_)
                window_->updateChromeBorder(note.userInfo.value(UserInfoKey::isActive).toBool(),
                                            false, displayColor());
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
