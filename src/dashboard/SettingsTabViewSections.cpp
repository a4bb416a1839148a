// The iCloud, daily kippet, appearance and About sections of the settings tab.
#include "app/DailyKippet.h"
#include "app/DailyKippetTime.h"
#include "app/Dialogs.h"
#include "app/Relauncher.h"
#include "app/SyncAvailability.h"
#include "app/UnsavedEdits.h"
#include "app/UpdateChecker.h"
#include "app/Workspace.h"
#include "dashboard/SegmentedControl.h"
#include "dashboard/SettingsIconTile.h"
#include "dashboard/SettingsSection.h"
#include "dashboard/SettingsStatusRow.h"
#include "dashboard/SettingsSwitch.h"
#include "dashboard/SettingsTabView.h"
#include "model/ICloudSyncSetting.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "ui/SlideReveal.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {
const QString dailyEnabledKey = QStringLiteral("daily_kippet_enabled");
const QString cutoutKey = QStringLiteral("kippet_tuck_cutout");
const QString monochromeKey = QStringLiteral("kippet_tuck_monochrome");

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, Theme::secondary(parent->palette()));
    label->setPalette(colors);
    return label;
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette colors = line->palette();
    colors.setColor(QPalette::WindowText,
                    Theme::withAlpha(Theme::primary(parent->palette()), 0.12));
    line->setPalette(colors);
    return line;
}

QCheckBox* sectionSwitch(const QString& name, QWidget* parent) {
    auto* toggle = new SettingsSwitch(parent);
    toggle->setObjectName(name);
    return toggle;
}

QWidget* pickerRow(const QString& title, SegmentedControl* picker, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(title, row);
    label->setFont(Theme::font(Theme::TextStyle::subheadline));
    line->addWidget(label, 0, Qt::AlignVCenter);
    line->addStretch(1);
    picker->setFixedWidth(220);
    line->addWidget(picker, 0, Qt::AlignVCenter);
    return row;
}
} // namespace

// iCloud.

SettingsSection* SettingsTabView::iCloudSection() {
    auto* section = new SettingsSection(QStringLiteral("iCloud"), 16, this);
    section->setObjectName(QStringLiteral("settings_iCloudSection"));
    const bool available = SyncAvailability::isAvailable();
    iCloudSwitch_ = sectionSwitch(QStringLiteral("ICloudSyncSwitch"), this);
    section->rows()->addWidget(
        headerRow(new SettingsIconTile(SymbolNames::icloudFill, Theme::blue(), this),
                  QStringLiteral("iCloud Sync"),
                  available ? QStringLiteral("Sync your kippets across all your Apple devices")
                            : QStringLiteral("Sync your kippets across all your devices"),
                  iCloudSwitch_));
    iCloudStatus_ = new SettingsStatusRow(this);
    iCloudStatus_->setObjectName(QStringLiteral("ICloudStatusRow"));
    section->rows()->addWidget(iCloudStatus_);
    iCloudNote_ = new SettingsStatusRow(this);
    iCloudNote_->setObjectName(QStringLiteral("ICloudNoteRow"));
    iCloudNote_->setContent(
        SymbolNames::externaldriveFill, Theme::secondary(palette()),
        QStringLiteral("Your data is always stored locally. Toggling iCloud sync only controls "
                       "whether data is also synced to iCloud. No data is lost when changing this "
                       "setting."),
        Theme::secondary(palette()));
    section->rows()->addWidget(iCloudNote_);
    // Where nothing can synchronise, the switch cannot change the stored choice.
    iCloudSwitch_->setEnabled(available);
    iCloudNote_->setVisible(available);
    connect(iCloudSwitch_, &QCheckBox::clicked, this, &SettingsTabView::iCloudToggled);
    showICloudStatus();
    return section;
}

void SettingsTabView::showICloudStatus() {
    const QColor secondary = Theme::secondary(palette());
    const bool available = SyncAvailability::isAvailable();
    // Off where nothing can synchronise, as the row beside it and the tour say; the stored choice
    // is kept as it is for a system that can.
    iCloudSwitch_->setChecked(available && iCloudSyncEnabled_);
    if (!available) {
        iCloudStatus_->setContent(SymbolNames::xmarkIcloud, secondary,
                                  QStringLiteral("iCloud sync is not available on this system. "
                                                 "Your kippets are stored on this computer only."),
                                  secondary);
        return;
    }
    if (iCloudSyncEnabled_)
        iCloudStatus_->setContent(
            SymbolNames::checkmarkIcloudFill, Theme::green(),
            QStringLiteral("iCloud sync is active. Your kippets sync across devices."),
            Theme::green());
    else
        iCloudStatus_->setContent(
            SymbolNames::xmarkIcloud, secondary,
            QStringLiteral("iCloud sync is off. Data is stored locally on this device only."),
            secondary);
}

void SettingsTabView::iCloudToggled(bool requested) {
    Log::line(QStringLiteral("[iCloud Sync] Settings toggle changed: ") +
              boolText(iCloudSyncEnabled_) + QStringLiteral(" → ") + boolText(requested));
    Log::line(QStringLiteral("[iCloud Sync] Showing restart confirmation alert..."));
    pendingICloudToggle_ = requested;
    // The switch shows the stored state until the change is confirmed.
    showICloudStatus();
    const QString message =
        requested ? QStringLiteral("Kippets needs to restart to enable iCloud sync. Your data will "
                                   "be preserved and will begin syncing across your devices.")
                  : QStringLiteral("Kippets needs to restart to disable iCloud sync. Your data "
                                   "will be preserved locally on this device.");
    QPointer<SettingsTabView> self(this);
    const std::optional<int> answer =
        services_.dialogs->ask(QStringLiteral("Restart Required"), message,
                               {QStringLiteral("Restart Now"), QStringLiteral("Cancel")}, this);
    if (!self)
        return;
    if (answer == 0)
        confirmRestart();
    else
        cancelRestart();
}

void SettingsTabView::confirmRestart() {
    if (!pendingICloudToggle_)
        return;
    // The restart is a quit: edits the store refused are not left behind without the question
    // that "Quit Kippets" asks. Going back stores nothing, as a cancel.
    QPointer<SettingsTabView> self(this);
    const bool mayQuit = UnsavedEdits::shared().mayQuit(this);
    if (!self)
        return;
    if (!mayQuit) {
        cancelRestart();
        return;
    }
    const bool enabled = *pendingICloudToggle_;
    Log::line(QStringLiteral("[iCloud Sync] User confirmed restart — saving preference: ") +
              boolText(enabled));
    setICloudSyncEnabled(enabled);
    iCloudSyncEnabled_ = enabled;
    pendingICloudToggle_.reset();
    showICloudStatus();
    // The next run reads the choice from the file, so it must be there before this one goes.
    Preferences::shared().sync();
    services_.preferences->sync();
    Log::line(QStringLiteral("[iCloud Sync] Relaunching app to apply iCloud sync change..."));
    const std::optional<QString> failure =
        services_.relauncher ? services_.relauncher->relaunch()
                             : std::optional<QString>(QStringLiteral("no way to restart"));
    if (!failure)
        return;
    Log::line(QStringLiteral("❌ [iCloud Sync] Relaunch failed: ") + *failure);
    services_.dialogs->showAlert(
        QStringLiteral("Restart Failed"),
        QStringLiteral(
            "Kippets could not restart itself. Quit and start it again to apply the change."),
        this);
}

void SettingsTabView::cancelRestart() {
    Log::line(
        QStringLiteral("[iCloud Sync] User cancelled iCloud toggle change — preference unchanged"));
    pendingICloudToggle_.reset();
}

// Daily kippet.

SettingsSection* SettingsTabView::dailyKippetSection() {
    auto* section = new SettingsSection(QStringLiteral("Daily Kippet"), 16, this);
    section->setObjectName(QStringLiteral("settings_dailySection"));
    dailySwitch_ = sectionSwitch(QStringLiteral("DailyKippetSwitch"), this);
    dailyTile_ = new SettingsIconTile(SymbolNames::calendar, dailyKippetColor(), this);
    section->rows()->addWidget(headerRow(dailyTile_, QStringLiteral("Daily Kippet"),
                                         QStringLiteral("Automatically create a new kippet every "
                                                        "day"),
                                         dailySwitch_));
    connect(dailySwitch_, &QCheckBox::clicked, this, [this](bool enabled) {
        services_.preferences->setBool(dailyEnabledKey, enabled);
        if (services_.dailyKippetSwitched)
            services_.dailyKippetSwitched(enabled);
    });

    // The time and the button come and go together with the switch.
    auto* dailyRows = new QWidget(this);
    auto* dailyColumn = new QVBoxLayout(dailyRows);
    dailyColumn->setContentsMargins(0, 0, 0, 0);
    dailyColumn->setSpacing(section->rows()->spacing());
    dailyTimeRow_ = new QWidget(dailyRows);
    auto* timeLine = new QHBoxLayout(dailyTimeRow_);
    timeLine->setContentsMargins(0, 0, 0, 0);
    auto* clockIcon = new QLabel(dailyTimeRow_);
    clockIcon->setFixedWidth(20);
    clockIcon->setAlignment(Qt::AlignCenter);
    clockIcon->setPixmap(Theme::symbol(SymbolNames::clockFill, Theme::secondary(palette()), 13,
                                       devicePixelRatioF()));
    timeLine->addWidget(clockIcon);
    timeLine->addWidget(secondaryLabel(QStringLiteral("Create at"), dailyTimeRow_));
    dailyTime_ =
        new QTimeEdit(DailyKippetTime::scheduledTime(*services_.preferences), dailyTimeRow_);
    dailyTime_->setObjectName(QStringLiteral("DailyKippetTime"));
    dailyTime_->setDisplayFormat(QStringLiteral("HH:mm"));
    connect(dailyTime_, &QTimeEdit::timeChanged, this, [this](QTime time) {
        DailyKippetTime::setScheduledTime(*services_.preferences, time);
    });
    timeLine->addWidget(dailyTime_);
    timeLine->addStretch(1);
    dailyColumn->addWidget(dailyTimeRow_);

    createToday_ =
        new QPushButton(Theme::buttonIcon(SymbolNames::plusCircleFill, Theme::primary(palette())),
                        QStringLiteral("Create Today's Kippet Now"), this);
    createToday_->setObjectName(QStringLiteral("CreateTodaysKippet"));
    connect(createToday_, &QPushButton::clicked, this, [this] {
        if (services_.createDailyKippet)
            services_.createDailyKippet();
        refreshCreateButton();
    });
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(createToday_);
    buttonRow->addStretch(1);
    dailyColumn->addLayout(buttonRow);
    dailyRowsReveal_ = new SlideReveal(dailyRows, this);
    section->rows()->addWidget(dailyRowsReveal_);

    dailyNote_ = new SettingsStatusRow(this);
    dailyNote_->setObjectName(QStringLiteral("DailyKippetNote"));
    section->rows()->addWidget(dailyNote_);
    watchKippetNames();
    showDailyKippet();
    refreshCreateButton();
    return section;
}

void SettingsTabView::showDailyKippet() {
    const bool enabled = services_.preferences->boolOr(dailyEnabledKey, false);
    dailySwitch_->setChecked(enabled);
    dailyRowsReveal_->setRevealed(enabled);
}

void SettingsTabView::refreshCreateButton() {
    const QDate today = services_.clock->now().toLocalTime().date();
    const QString name = dailyKippetName(today);
    bool exists = false;
    if (services_.manager) {
        for (const Kippet* kippet : services_.manager->allKippets())
            exists = exists || kippet->name() == name;
    }
    createToday_->setEnabled(!exists);
    const QColor secondary = Theme::secondary(palette());
    dailyNote_->setContent(
        SymbolNames::infoCircleFill, secondary,
        QStringLiteral("Daily kippets are named by day and date (e.g., \"%1\").").arg(name),
        secondary);
    dailyTile_->setColor(dailyKippetColor());
}

void SettingsTabView::watchKippetNames() {
    if (!services_.manager)
        return;
    auto follow = [this] {
        for (Kippet* kippet : services_.manager->allKippets())
            connect(kippet, &Kippet::nameChanged, this, &SettingsTabView::refreshCreateButton,
                    Qt::UniqueConnection);
        refreshCreateButton();
    };
    connect(services_.manager, &KippetManager::allKippetsChanged, this, follow);
    follow();
}

void SettingsTabView::scheduleMidnightRefresh() {
    midnight_.cancel();
    const QDateTime now = services_.clock->now().toLocalTime();
    const QDateTime midnight(now.date().addDays(1), QTime(0, 0));
    const qint64 wait = std::max<qint64>(now.msecsTo(midnight), 1);
    midnight_ = services_.clock->schedule(std::chrono::milliseconds(wait), this, [this] {
        refreshCreateButton();
        scheduleMidnightRefresh();
    });
}

// Appearance.

SettingsSection* SettingsTabView::appearanceSection() {
    auto* section = new SettingsSection(QStringLiteral("Appearance"), 16, this);
    section->setObjectName(QStringLiteral("settings_appearanceSection"));
    section->rows()->addWidget(headerRow(
        new SettingsIconTile(SymbolNames::paintpaletteFill, Theme::purple(), this),
        QStringLiteral("Tucked Kippet Style"),
        QStringLiteral("Choose how tucked kippet pull tabs are rendered along the screen edge."),
        nullptr, Qt::AlignTop));
    stylePicker_ = new SegmentedControl({QStringLiteral("Glass"), QStringLiteral("Cutout")}, this);
    stylePicker_->setObjectName(QStringLiteral("TuckStylePicker"));
    connect(stylePicker_, &SegmentedControl::activated, this,
            [this](int index) { services_.preferences->setBool(cutoutKey, index == 1); });
    section->rows()->addWidget(pickerRow(QStringLiteral("Style"), stylePicker_, this));
    iconStylePicker_ =
        new SegmentedControl({QStringLiteral("Monochrome"), QStringLiteral("Colored")}, this);
    iconStylePicker_->setObjectName(QStringLiteral("TuckIconStylePicker"));
    connect(iconStylePicker_, &SegmentedControl::activated, this,
            [this](int index) { services_.preferences->setBool(monochromeKey, index == 0); });
    iconStyleRow_ = pickerRow(QStringLiteral("Icon Style"), iconStylePicker_, this);
    iconStyleReveal_ = new SlideReveal(iconStyleRow_, this);
    section->rows()->addWidget(iconStyleReveal_);
    showAppearance();
    return section;
}

void SettingsTabView::showAppearance() {
    const bool cutout = services_.preferences->boolOr(cutoutKey, false);
    stylePicker_->setCurrentIndex(cutout ? 1 : 0);
    iconStylePicker_->setCurrentIndex(services_.preferences->boolOr(monochromeKey, true) ? 0 : 1);
    iconStyleReveal_->setRevealed(cutout);
}

// About.

SettingsSection* SettingsTabView::aboutSection() {
    auto* section = new SettingsSection(QStringLiteral("About"), 12, this);
    section->setObjectName(QStringLiteral("settings_aboutSection"));
    const AboutInfo& about = services_.about;
    auto orUnknown = [](const QString& value) {
        return value.isEmpty() ? QStringLiteral("Unknown") : value;
    };

    auto* versionRow = new QHBoxLayout();
    auto* infoIcon = new QLabel(this);
    infoIcon->setPixmap(
        Theme::symbol(SymbolNames::infoCircleFill, Theme::blue(), 17, devicePixelRatioF()));
    versionRow->addWidget(infoIcon, 0, Qt::AlignVCenter);
    auto* versionTexts = new QVBoxLayout();
    versionTexts->setSpacing(2);
    auto* version = new QLabel(QStringLiteral("Version %1 (%2)")
                                   .arg(orUnknown(about.version), orUnknown(about.buildNumber)),
                               this);
    version->setObjectName(QStringLiteral("AboutVersion"));
    version->setFont(Theme::font(Theme::TextStyle::headline));
    versionTexts->addWidget(version);
    auto* requirement = secondaryLabel(
        QStringLiteral("Requires Qt %1 or later").arg(orUnknown(about.minimumQtVersion)), this);
    requirement->setObjectName(QStringLiteral("AboutRequirement"));
    requirement->setFont(Theme::font(Theme::TextStyle::caption));
    versionTexts->addWidget(requirement);
    versionRow->addLayout(versionTexts);
    versionRow->addStretch(1);
    section->rows()->addLayout(versionRow);
    section->rows()->addWidget(divider(this));

    QPushButton* help =
        linkButton(SymbolNames::questionmarkCircle, QStringLiteral("Help & Support"), true);
    help->setObjectName(QStringLiteral("HelpLink"));
    help->setVisible(!about.helpUrl.isEmpty());
    connect(help, &QPushButton::clicked, this,
            [this] { services_.workspace->open(services_.about.helpUrl); });
    section->rows()->addWidget(help);
    QPushButton* privacy =
        linkButton(SymbolNames::handRaised, QStringLiteral("Privacy Policy"), true);
    privacy->setObjectName(QStringLiteral("PrivacyLink"));
    privacy->setVisible(!about.privacyUrl.isEmpty());
    connect(privacy, &QPushButton::clicked, this,
            [this] { services_.workspace->open(services_.about.privacyUrl); });
    section->rows()->addWidget(privacy);
    // Without either page the two dividers would meet.
    QFrame* linksEnd = divider(this);
    linksEnd->setVisible(!about.helpUrl.isEmpty() || !about.privacyUrl.isEmpty());
    section->rows()->addWidget(linksEnd);

    QPushButton* tour =
        linkButton(SymbolNames::graduationcap, QStringLiteral("Show Onboarding Tutorial"), false);
    tour->setObjectName(QStringLiteral("ShowOnboardingTutorial"));
    connect(tour, &QPushButton::clicked, this,
            [this] { services_.notifications->post(NotificationName::showOnboarding); });
    section->rows()->addWidget(tour);
    QPushButton* updates =
        linkButton(SymbolNames::arrowDownCircle, QStringLiteral("Check for Updates..."), false);
    updates->setObjectName(QStringLiteral("CheckForUpdates"));
    connect(updates, &QPushButton::clicked, this, &SettingsTabView::checkForUpdates);
    section->rows()->addWidget(updates);
    return section;
}

QPushButton* SettingsTabView::linkButton(const QString& symbol, const QString& title,
                                         bool external) {
    auto* button = new QPushButton(this);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setAccessibleName(title);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; text-align: left; }"));
    auto* line = new QHBoxLayout(button);
    line->setContentsMargins(0, 8, 0, 8);
    auto* icon = new QLabel(button);
    icon->setPixmap(Theme::symbol(symbol, Theme::primary(palette()), 13, devicePixelRatioF()));
    line->addWidget(icon);
    auto* text = new QLabel(title, button);
    text->setObjectName(QStringLiteral("LinkTitle"));
    text->setFont(Theme::font(Theme::TextStyle::body));
    line->addWidget(text);
    line->addStretch(1);
    if (external) {
        auto* arrow = new QLabel(button);
        arrow->setPixmap(Theme::symbol(SymbolNames::arrowUpRight, Theme::primary(palette()), 10,
                                       devicePixelRatioF()));
        line->addWidget(arrow);
    }
    for (QLabel* label : button->findChildren<QLabel*>())
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    button->setMinimumHeight(line->sizeHint().height());
    return button;
}

void SettingsTabView::checkForUpdates() {
    // The answer comes to the front even when the dashboard was behind other windows.
    if (QWidget* top = window()) {
        top->raise();
        top->activateWindow();
    }
    if (services_.updates)
        services_.updates->checkForUpdates(this);
}
