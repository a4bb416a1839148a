#include "dashboard/DashboardView.h"

#include "app/DailyKippetScheduler.h"
#include "app/KippetListing.h"
#include "app/MenuBarManager.h"
#include "dashboard/ChoiceMenuStyle.h"
#include "dashboard/CreateKippetSheet.h"
#include "dashboard/EmptyStateView.h"
#include "dashboard/InstructionsPresenter.h"
#include "dashboard/KippetCardView.h"
#include "dashboard/KippetCreation.h"
#include "dashboard/KippetEditing.h"
#include "dashboard/KippetRow.h"
#include "dashboard/KippetTileList.h"
#include "dashboard/SearchField.h"
#include "model/Kippet.h"
#include "platform/ClockTimer.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimeZone>
#include <QVBoxLayout>

namespace {
using Theme::TextStyle;

// Room the tile list keeps around its tiles for the cards' shadows: the other parts of the tab
// are indented by as much, so that everything lines up at the tab's padding of 32.
constexpr int shadowInset = KippetTileList::inset;

QString prominentStyle(const QPalette& palette) {
    const QColor accent = palette.color(QPalette::Highlight);
    return QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                          " border-radius: 6px; padding: 4px 12px; }"
                          "QPushButton:pressed { background: %2; }")
        .arg(accent.name(), accent.darker(115).name());
}

DashboardView::SettingsPageFactory& settingsPageFactory() {
    static DashboardView::SettingsPageFactory factory;
    return factory;
}
} // namespace

DashboardView::DashboardView(DashboardTab selectedTab, QWidget* parent) : QTabWidget(parent) {
    setObjectName(QStringLiteral("DashboardView"));
    setMinimumSize(700, 500);
    setDocumentMode(true);
    creation_ = new KippetCreation(
        this, [](Kippet* kippet) { MenuBarManager::shared().showWindow(kippet); });
    editing_ = new KippetEditing(this);
    addTab(buildKippetsTab(), rawValue(DashboardTab::kippets));
    settingsFactory_ = settingsPageFactory();
    addTab(new QWidget(this), rawValue(DashboardTab::settings));
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1)
            buildSettingsPage();
    });
    applyIcons();
    selectTab(selectedTab);

    NotificationCenter& center = NotificationCenter::shared();
    center.observe(NotificationName::dashboardSwitchToKippets, this,
                   [this](const auto&) { selectTab(DashboardTab::kippets); });
    center.observe(NotificationName::dashboardSwitchToSettings, this,
                   [this](const auto&) { selectTab(DashboardTab::settings); });

    KippetManager& manager = KippetManager::shared();
    connect(&manager, &KippetManager::allKippetsChanged, this, [this] {
        watchKippets();
        refresh();
    });
    connect(&manager, &KippetManager::activeKippetsChanged, this, &DashboardView::refresh);
    midnight_ = new ClockTimer(this);
    midnight_->setSingleShot(true);
    connect(midnight_, &ClockTimer::timeout, this, [this] {
        updateDailyRule();
        scheduleMidnight();
    });
    watchKippets();
    refresh();
    scheduleMidnight();
}

DashboardView::~DashboardView() = default;

DashboardTab DashboardView::selectedTab() const {
    return currentIndex() == 1 ? DashboardTab::settings : DashboardTab::kippets;
}

void DashboardView::selectTab(DashboardTab tab) {
    setCurrentIndex(tab == DashboardTab::kippets ? 0 : 1);
}

QString DashboardView::searchText() const {
    return searchField_->text();
}

void DashboardView::setSettingsPageFactory(SettingsPageFactory factory) {
    settingsPageFactory() = std::move(factory);
}

// ---- Building

void DashboardView::buildSettingsPage() {
    if (settingsBuilt_ || !settingsFactory_)
        return;
    settingsBuilt_ = true;
    QWidget* page = settingsFactory_(this);
    if (!page)
        return;
    // The placeholder gives way to the page, keeping the tab's place, title and icon.
    const QIcon icon = tabIcon(1);
    QWidget* placeholder = widget(1);
    const bool wasShown = currentIndex() == 1;
    const QSignalBlocker quiet(this);
    removeTab(1);
    placeholder->deleteLater();
    insertTab(1, page, icon, rawValue(DashboardTab::settings));
    if (wasShown)
        setCurrentIndex(1);
}

QWidget* DashboardView::buildKippetsTab() {
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll_);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(32 - shadowInset, 32, 32 - shadowInset, 32 - shadowInset);
    layout->setSpacing(24);
    layout->addWidget(buildHeader());

    divider_ = new QWidget(content);
    divider_->setFixedHeight(1);
    divider_->setAutoFillBackground(true);
    auto* dividerRow = new QWidget(content);
    auto* dividerLayout = new QHBoxLayout(dividerRow);
    dividerLayout->setContentsMargins(shadowInset + 8, 0, shadowInset + 8, 0);
    dividerLayout->addWidget(divider_);
    layout->addWidget(dividerRow);

    auto* section = new QVBoxLayout;
    section->setSpacing(16 - shadowInset);
    section->addWidget(buildSectionRow());
    section_ = section;
    tileList_ = new KippetTileList(
        scroll_,
        [this](Kippet* kippet, DisplayMode mode, QWidget* parent) {
            return makeTile(kippet, mode, parent);
        },
        content);
    section->addWidget(tileList_);
    layout->addLayout(section);
    layout->addStretch(1);
    scroll_->setWidget(content);
    return scroll_;
}

QWidget* DashboardView::buildHeader() {
    header_ = new QWidget(this);
    auto* row = new QHBoxLayout(header_);
    row->setContentsMargins(shadowInset, 0, shadowInset, 0);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    titleLabel_ = new QLabel(QStringLiteral("Kippets"), header_);
    QFont largeTitle = Theme::font(TextStyle::title2, QFont::Bold);
    largeTitle.setPixelSize(26);
    titleLabel_->setFont(largeTitle);
    countLabel_ = new QLabel(header_);
    countLabel_->setFont(Theme::font(TextStyle::subheadline));
    titles->addWidget(titleLabel_);
    titles->addWidget(countLabel_);
    row->addLayout(titles);
    row->addStretch(1);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(12);
    searchField_ = new SearchField(header_);
    connect(searchField_, &SearchField::textChanged, this, &DashboardView::refreshFilter);
    dailyButton_ = new QPushButton(QStringLiteral("Daily Kippet"), header_);
    connect(dailyButton_, &QPushButton::clicked, this, &DashboardView::createDailyKippet);
    newButton_ = new QPushButton(QStringLiteral("New Kippet"), header_);
    connect(newButton_, &QPushButton::clicked, this, &DashboardView::showCreateSheet);
    controls->addWidget(searchField_, 0, Qt::AlignVCenter);
    controls->addWidget(dailyButton_, 0, Qt::AlignVCenter);
    controls->addWidget(newButton_, 0, Qt::AlignVCenter);
    row->addLayout(controls);

    header_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { buildHeaderMenu()->popup(header_->mapToGlobal(at)); });
    return header_;
}

QMenu* DashboardView::buildHeaderMenu() {
    auto* menu = new QMenu(header_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QColor text = palette().color(QPalette::WindowText);
    menu->addAction(Theme::buttonIcon(SymbolNames::plus, text), QStringLiteral("New Kippet..."),
                    this, &DashboardView::showCreateSheet);
    QAction* daily = menu->addAction(Theme::buttonIcon(SymbolNames::calendar, text),
                                     QStringLiteral("Create Daily Kippet"), this,
                                     &DashboardView::createDailyKippet);
    daily->setEnabled(!dailyPresent_);
    return menu;
}

QWidget* DashboardView::buildSectionRow() {
    auto* sectionRow = new QWidget(this);
    auto* row = new QHBoxLayout(sectionRow);
    row->setContentsMargins(shadowInset, 0, shadowInset, 0);
    sectionTitle_ = new QLabel(QStringLiteral("All Kippets"), sectionRow);
    sectionTitle_->setFont(Theme::font(TextStyle::title2, QFont::Bold));
    row->addWidget(sectionTitle_);
    row->addStretch(1);
    auto* menus = new QHBoxLayout;
    menus->setSpacing(12);
    sortButton_ = buildMenuButton();
    displayButton_ = buildMenuButton();
    menus->addWidget(sortButton_);
    menus->addWidget(displayButton_);
    row->addLayout(menus);
    rebuildSortMenu();
    rebuildDisplayMenu();
    return sectionRow;
}

QPushButton* DashboardView::buildMenuButton() {
    auto* button = new QPushButton(this);
    button->setFlat(true);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; }"
                                         "QPushButton::menu-indicator { image: none; width: 0; }"));
    auto* layout = new QHBoxLayout(button);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->setSpacing(4);
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(button);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(label);
    }
    auto* menu = new QMenu(button);
    if (!choiceStyle_)
        choiceStyle_ = new ChoiceMenuStyle;
    choiceStyle_->setParent(this);
    menu->setStyle(choiceStyle_);
    button->setMenu(menu);
    return button;
}

void DashboardView::setMenuButtonLabel(QPushButton* button, const QString& symbol,
                                       const QString& text) {
    const QList<QLabel*> labels = button->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    const QColor tone = palette().color(QPalette::WindowText);
    const qreal dpr = devicePixelRatioF();
    labels[0]->setPixmap(Theme::symbol(symbol, tone, 13, dpr));
    labels[1]->setText(text);
    labels[2]->setPixmap(Theme::symbol(SymbolNames::chevronDown, tone, 9, dpr));
    button->setAccessibleName(text);
    button->setMinimumSize(button->layout()->sizeHint());
}

void DashboardView::rebuildSortMenu() {
    setMenuButtonLabel(sortButton_, symbolName(sortOrder_), rawValue(sortOrder_));
    QMenu* menu = sortButton_->menu();
    menu->clear();
    const QColor tone = palette().color(QPalette::WindowText);
    for (SortOrder order : allSortOrders()) {
        QAction* action =
            menu->addAction(Theme::buttonIcon(symbolName(order), tone), rawValue(order), this,
                            [this, order] { setSortOrder(order); });
        action->setCheckable(true);
        action->setChecked(order == sortOrder_);
    }
}

void DashboardView::rebuildDisplayMenu() {
    setMenuButtonLabel(displayButton_, symbolName(displayMode_), rawValue(displayMode_));
    QMenu* menu = displayButton_->menu();
    menu->clear();
    const QColor tone = palette().color(QPalette::WindowText);
    for (DisplayMode mode : allDisplayModes()) {
        QAction* action = menu->addAction(Theme::buttonIcon(symbolName(mode), tone), rawValue(mode),
                                          this, [this, mode] { setDisplayMode(mode); });
        action->setCheckable(true);
        action->setChecked(mode == displayMode_);
    }
}

void DashboardView::applyIcons() {
    const QColor text = palette().color(QPalette::WindowText);
    setTabIcon(0, Theme::buttonIcon(symbolName(DashboardTab::kippets), text));
    setTabIcon(1, Theme::buttonIcon(symbolName(DashboardTab::settings), text));
    dailyButton_->setIcon(Theme::buttonIcon(SymbolNames::calendar, text));
    newButton_->setIcon(Theme::buttonIcon(SymbolNames::plus, QColor(Qt::white)));
    newButton_->setStyleSheet(prominentStyle(palette()));
    QPalette secondary = countLabel_->palette();
    secondary.setColor(QPalette::WindowText, Theme::secondary(palette()));
    countLabel_->setPalette(secondary);
    if (emptyState_)
        emptyState_->newKippetButton()->setStyleSheet(prominentStyle(palette()));
    // A separator: the text colour, faint.
    QPalette line = divider_->palette();
    line.setColor(QPalette::Window, Theme::withAlpha(text, 0.12));
    divider_->setPalette(line);
    rebuildSortMenu();
    rebuildDisplayMenu();
}

void DashboardView::changeEvent(QEvent* event) {
    QTabWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && countLabel_)
        applyIcons();
}

// ---- Choices

void DashboardView::setSortOrder(SortOrder order) {
    if (order == sortOrder_)
        return;
    sortOrder_ = order;
    rebuildSortMenu();
    refresh();
}

void DashboardView::setDisplayMode(DisplayMode mode) {
    if (mode == displayMode_)
        return;
    displayMode_ = mode;
    rebuildDisplayMenu();
    tileList_->setDisplayMode(mode);
}

// ---- Following the manager

void DashboardView::watchKippets() {
    for (Kippet* kippet : KippetManager::shared().allKippets()) {
        if (watched_.contains(kippet->id()))
            continue;
        watched_.insert(kippet->id());
        connect(kippet, &Kippet::nameChanged, this, &DashboardView::refresh);
        connect(kippet, &Kippet::lastClosedDateChanged, this, &DashboardView::refresh);
        connect(kippet, &QObject::destroyed, this,
                [this, id = kippet->id()] { watched_.remove(id); });
    }
}

void DashboardView::refresh() {
    sorted_ = KippetListing::sorted(KippetManager::shared().allKippets(), sortOrder_);
    updateDailyRule();
    refreshFilter();
}

void DashboardView::refreshFilter() {
    const QString text = searchText();
    filtered_ = KippetListing::filtered(sorted_, text);
    countLabel_->setText(KippetListing::countLine(filtered_.size(), sorted_.size()));
    const bool empty = filtered_.isEmpty();
    if (empty)
        emptyState()->show(text);
    else if (emptyState_)
        emptyState_->hide();
    tileList_->setVisible(!empty);
    tileList_->setKippets(filtered_);
}

EmptyStateView* DashboardView::emptyState() {
    if (!emptyState_) {
        emptyState_ = new EmptyStateView(section_->parentWidget());
        emptyState_->hide();
        emptyState_->newKippetButton()->setStyleSheet(prominentStyle(palette()));
        connect(emptyState_, &EmptyStateView::newKippetRequested, this,
                &DashboardView::showCreateSheet);
        section_->insertWidget(section_->indexOf(tileList_), emptyState_);
    }
    return emptyState_;
}

void DashboardView::updateDailyRule() {
    dailyPresent_ =
        KippetListing::hasDailyKippet(KippetManager::shared().allKippets(), Clock::shared().now());
    dailyButton_->setEnabled(!dailyPresent_);
}

void DashboardView::scheduleMidnight() {
    const QDateTime now = Clock::shared().now().toLocalTime();
    const QDateTime midnight(now.date().addDays(1), QTime(0, 0), now.timeZone());
    midnight_->start(std::chrono::milliseconds(std::max<qint64>(1, now.msecsTo(midnight))));
}

// ---- Create and edit

void DashboardView::showCreateSheet() {
    watchWindowClose();
    creation_->present();
}

void DashboardView::startEditing(Kippet* kippet) {
    watchWindowClose();
    editing_->start(kippet);
}

void DashboardView::createDailyKippet() {
    DailyKippetScheduler::shared().createDailyKippet();
}

KippetTile* DashboardView::makeTile(Kippet* kippet, DisplayMode mode, QWidget* parent) {
    auto onEdit = [this](Kippet* edited) { startEditing(edited); };
    auto onInstructions = [this](Kippet* edited) { InstructionsPresenter::present(edited, this); };
    if (mode == DisplayMode::grid)
        return new KippetCardView(kippet, onEdit, onInstructions, parent);
    return new KippetRow(kippet, onEdit, onInstructions, parent);
}

void DashboardView::watchWindowClose() {
    QWidget* top = window();
    if (top == watchedWindow_ || top == this)
        return;
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
    watchedWindow_ = top;
    top->installEventFilter(this);
}

// Closing the dashboard drops a create or an edit under way: the user left it.
bool DashboardView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::Close) {
        creation_->cancel();
        editing_->cancel();
    }
    return QTabWidget::eventFilter(watched, event);
}
