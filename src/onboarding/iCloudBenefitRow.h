#pragma once

#include <QString>
#include <QWidget>

// One benefit line of the iCloud step: a blue symbol in a 24-point column and a grey text.
class iCloudBenefitRow : public QWidget {
    Q_OBJECT
public:
    iCloudBenefitRow(const QString& icon, const QString& text, QWidget* parent = nullptr);

    QString icon() const { return icon_; }
    QString text() const { return text_; }

private:
    QString icon_;
    QString text_;
};
