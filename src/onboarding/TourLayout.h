#pragma once

#include <QBoxLayout>

class QWidget;

// Fills a box layout as the tour's stacks are specified: the spacing stands between every two
// entries, flexible spaces included (a plain QBoxLayout leaves it out next to stretches).
class StackBuilder {
public:
    StackBuilder(QBoxLayout* layout, int spacing);

    void add(QWidget* widget, Qt::Alignment alignment = Qt::AlignHCenter);
    void add(QLayout* layout);
    void addFlexible();

private:
    void gap();

    QBoxLayout* layout_;
    int spacing_;
    bool empty_ = true;
};

// A new layout with no margins and no spacing of its own.
QVBoxLayout* plainColumn(QWidget* parent = nullptr);
QHBoxLayout* plainRow(QWidget* parent = nullptr);
