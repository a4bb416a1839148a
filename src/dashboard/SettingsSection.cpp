#include "dashboard/SettingsSection.h"

#include "ui/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

SettingsSection::SettingsSection(const QString& header, int spacing, QWidget* parent)
    : QWidget(parent), header_(new QLabel(header, this)), box_(new QWidget(this)),
      rows_(new QVBoxLayout(box_)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    header_->setFont(Theme::font(Theme::TextStyle::headline));
    header_->setContentsMargins(10, 0, 0, 0);
    column->addWidget(header_);
    box_->setObjectName(QStringLiteral("SettingsSectionBox"));
    box_->setAttribute(Qt::WA_StyledBackground);
    rows_->setContentsMargins(12, 8 + 6, 12, 8 + 6);
    rows_->setSpacing(spacing);
    column->addWidget(box_);
    applyColors();
}

QString SettingsSection::header() const {
    return header_->text();
}

QLabel* SettingsSection::setFooter(const QString& html) {
    if (!footer_) {
        footer_ = new QLabel(this);
        footer_->setTextFormat(Qt::RichText);
        footer_->setFont(Theme::font(Theme::TextStyle::caption));
        footer_->setContentsMargins(10, 0, 0, 0);
        footer_->setOpenExternalLinks(false);
        footer_->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                         Qt::LinksAccessibleByKeyboard);
        layout()->addWidget(footer_);
        applyColors();
    }
    footer_->setText(html);
    return footer_;
}

void SettingsSection::applyColors() {
    const QPalette& colors = palette();
    const bool dark = Theme::isDark(colors);
    const QColor fill = dark ? QColor(255, 255, 255, 13) : QColor(255, 255, 255, 255);
    const QColor line = dark ? QColor(255, 255, 255, 20) : QColor(0, 0, 0, 20);
    const QString sheet =
        QStringLiteral("#SettingsSectionBox { background: %1; border: 1px solid %2;"
                       " border-radius: 10px; }")
            .arg(fill.name(QColor::HexArgb), line.name(QColor::HexArgb));
    if (box_->styleSheet() != sheet)
        box_->setStyleSheet(sheet);
    QPalette headerColors = header_->palette();
    headerColors.setColor(QPalette::WindowText, Theme::secondary(colors));
    header_->setPalette(headerColors);
    if (footer_)
        footer_->setPalette(headerColors);
}

void SettingsSection::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}
