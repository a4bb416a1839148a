#pragma once

#include "app/ColorChooser.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <optional>

// A colour chooser that answers at once from a queue of next answers (nothing: the user
// cancelled; an empty queue cancels too) and records every opening. Installed for its lifetime.
class QueuedColorChooser : public ColorChooser {
public:
    QueuedColorChooser() { ColorChooser::install(this); }
    ~QueuedColorChooser() override { ColorChooser::install(nullptr); }

    void queue(std::optional<QColor> answer) { answers_.push_back(answer); }

    void chooseColor(QWidget* parent, const QColor& initial, Chosen onChosen) override {
        openedOver.append(QPointer<QWidget>(parent));
        initialColors.append(initial);
        if (answers_.empty())
            return;
        const std::optional<QColor> answer = answers_.front();
        answers_.pop_front();
        if (answer)
            onChosen(*answer);
    }

    QList<QPointer<QWidget>> openedOver;
    QList<QColor> initialColors;

private:
    std::deque<std::optional<QColor>> answers_;
};
