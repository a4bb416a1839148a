#pragma once

#include <QWidget>

// One line of the completion step's quick reference: a key on an accent badge and what it does.
class QuickRefRow : public QWidget {
    Q_OBJECT
public:
    QuickRefRow(const QString& shortcut, const QString& description, QWidget* parent = nullptr);

    QString shortcut() const { return shortcut_; }
    QString description() const { return description_; }

private:
    QString shortcut_;
    QString description_;
};
