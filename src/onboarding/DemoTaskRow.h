#pragma once

#include "onboarding/RoundedPanel.h"

class QLabel;
class SymbolView;

// One task of the hands-on step's checklist: an open circle and the task, or, once done, a
// green check mark and the task greyed, on a green tint.
class DemoTaskRow : public RoundedPanel {
    Q_OBJECT
public:
    DemoTaskRow(const QString& identifier, const QString& title, QWidget* parent = nullptr);

    QString identifier() const { return identifier_; }
    QString title() const { return title_; }
    bool isDone() const { return done_; }
    QString symbol() const;
    void setDone(bool done);

private:
    QString identifier_;
    QString title_;
    bool done_ = false;
    SymbolView* symbol_;
    QLabel* text_;
};
