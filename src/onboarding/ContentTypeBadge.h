#pragma once

#include "onboarding/RoundedPanel.h"

#include <QString>

// One kind of content a kippet takes: a symbol and a label in a grey capsule.
class ContentTypeBadge : public RoundedPanel {
    Q_OBJECT
public:
    ContentTypeBadge(const QString& icon, const QString& text, QWidget* parent = nullptr);

    QString icon() const { return icon_; }
    QString text() const { return text_; }

private:
    QString icon_;
    QString text_;
};
