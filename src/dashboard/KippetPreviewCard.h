#pragma once

#include <QWidget>

class KippetForm;
class QLabel;
class SheetBadge;

// The create sheet's live preview of the form: the icon badge, the name as it will be shown
// (trimmed, or "New Kippet" while blank) and "Preview", on a translucent card outlined in the
// form's colour.
class KippetPreviewCard : public QWidget {
    Q_OBJECT
public:
    explicit KippetPreviewCard(KippetForm& form, QWidget* parent = nullptr);

    QString displayName() const;
    SheetBadge* badge() const { return badge_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    KippetForm& form_;
    SheetBadge* badge_;
    QLabel* name_;
    QLabel* caption_;
};
