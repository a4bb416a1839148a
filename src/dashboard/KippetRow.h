#pragma once

#include "dashboard/KippetTile.h"

class ClockTimer;

// A kippet as a row of the dashboard's list: its badge, name, "Created " with the time since,
// the item count, and the open indicator while open. The elapsed time follows the clock while
// the row is shown.
class KippetRow : public KippetTile {
    Q_OBJECT
public:
    static constexpr int rowHeight = 64;

    KippetRow(Kippet* kippet, KippetCallback onEdit, KippetCallback onEditInstructions,
              QWidget* parent = nullptr);

    // "Created 2 hours, 5 minutes", as drawn: set when the row is shown and at each change the
    // row planned for.
    QString detailText() const { return detailText_; }

protected:
    QRectF activeDotRect() const override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refreshDetail();
    void scheduleTick();

    ClockTimer* tick_ = nullptr;
    QString detailText_;
};
