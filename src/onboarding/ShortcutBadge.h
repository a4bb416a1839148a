#pragma once

#include <QWidget>

// A key letter in white on a small accent square, and what the key does beside it.
class ShortcutBadge : public QWidget {
    Q_OBJECT
public:
    ShortcutBadge(const QString& key, const QString& description, QWidget* parent = nullptr);

    QString key() const { return key_; }
    QString description() const { return description_; }

private:
    QString key_;
    QString description_;
};
