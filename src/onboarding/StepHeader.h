#pragma once

#include <QWidget>

class QLabel;

// The heading of a tour step: a bold large title over a secondary subtitle in title 3, both
// centred line by line, with room above.
class StepHeader : public QWidget {
    Q_OBJECT
public:
    StepHeader(const QString& title, const QString& subtitle, int spacing, int topPadding,
               QWidget* parent = nullptr);

    QLabel* title() const { return title_; }
    QLabel* subtitle() const { return subtitle_; }

private:
    QLabel* title_;
    QLabel* subtitle_;
};
