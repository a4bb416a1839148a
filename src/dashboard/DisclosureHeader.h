#pragma once

#include <QAbstractButton>

class QHBoxLayout;

// The clickable header of a section that opens and closes: a chevron pointing right while
// closed and down while open, followed by the caller's label widgets. Checked means open.
class DisclosureHeader : public QAbstractButton {
    Q_OBJECT
public:
    explicit DisclosureHeader(QWidget* parent = nullptr);

    // Where the label widgets go, after the chevron.
    QHBoxLayout* labelRow() const { return row_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QHBoxLayout* row_;
};
