#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

// One group of the settings form: a plain header above a rounded box whose rows stack leading,
// padded 8 at top and bottom, and an optional footer below the box.
class SettingsSection : public QWidget {
    Q_OBJECT
public:
    SettingsSection(const QString& header, int spacing, QWidget* parent = nullptr);

    QVBoxLayout* rows() const { return rows_; }
    QString header() const;
    // Rich text; links are reported, not followed.
    QLabel* setFooter(const QString& html);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* header_;
    QWidget* box_;
    QVBoxLayout* rows_;
    QLabel* footer_ = nullptr;
};
