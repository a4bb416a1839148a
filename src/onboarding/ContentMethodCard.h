#pragma once

#include "onboarding/RoundedPanel.h"
#include "onboarding/TourStyle.h"

#include <QString>
#include <optional>

class QLabel;

// One way of adding content: a symbol, a title, a sentence that wraps as far as it needs, and an
// optional key letter, on a tinted card with a border. It carries no action.
class ContentMethodCard : public RoundedPanel {
    Q_OBJECT
public:
    ContentMethodCard(const QString& icon, const QString& title, const QString& description,
                      Theme::Named color, const std::optional<QString>& shortcut,
                      QWidget* parent = nullptr);

    QString icon() const { return icon_; }
    QString title() const { return title_; }
    QString description() const { return description_; }
    std::optional<QString> shortcut() const { return shortcut_; }

private:
    QString icon_;
    QString title_;
    QString description_;
    std::optional<QString> shortcut_;
};
