#pragma once

#include <QWidget>

// One line of the completion step's quick reference: a key on an accent badge and what it does.
class QuickRefRow : public QWidget {
    Q_OBJECT
public:
    QuickRefRow(const QString& shortcut, const QString& description, QWidget* parent = nullptr);

    QString shortcut() const { return shortcut_; }
    QString description() const { return description_; }
    // The key badge's width: at least 44, and as wide as its key needs.
    int badgeWidth() const;
    // Lines the descriptions up: every row's badge as wide as the widest.
    void setBadgeWidth(int width);

private:
    QWidget* badge_;
    QString shortcut_;
    QString description_;
};
