#pragma once

#include "app/SortOrder.h"
#include "dashboard/DashboardTab.h"
#include "dashboard/DisplayMode.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QTabWidget>
#include <QUuid>
#include <functional>

class ChoiceMenuStyle;
class ClockTimer;
class EmptyStateView;
class Kippet;
class KippetCreation;
class KippetEditing;
class KippetTile;
class KippetTileList;
class QLabel;
class QMenu;
class QPushButton;
class QVBoxLayout;
class QScrollArea;
class SearchField;

// The dashboard window's content: the "Kippets" tab lists every kippet, open or closed, as
// cards or rows, searched by name and sorted; it creates kippets, today's daily kippet, and
// edits them. The "Settings" tab holds the settings. The tab of a shown dashboard follows
// "dashboardSwitchToKippets" and "dashboardSwitchToSettings".
//
// The lists follow the manager's whole-list signals and each kippet's name and last-closed date;
// only the cards or rows in view exist. Sort order, display mode, search and half-filled forms
// live as long as the view.
class DashboardView : public QTabWidget {
    Q_OBJECT
public:
    // Builds the "Settings" tab's page when the tab is first shown (the settings probe services
    // that a dashboard opened on its kippets never needs); the view owns what it returns. Until
    // one is installed the tab is an empty page.
    using SettingsPageFactory = std::function<QWidget*(QWidget* parent)>;

    explicit DashboardView(DashboardTab selectedTab, QWidget* parent = nullptr);
    ~DashboardView() override;

    // For every dashboard built from now on.
    static void setSettingsPageFactory(SettingsPageFactory factory);

    DashboardTab selectedTab() const;
    void selectTab(DashboardTab tab);

    SortOrder sortOrder() const { return sortOrder_; }
    void setSortOrder(SortOrder order);
    DisplayMode displayMode() const { return displayMode_; }
    void setDisplayMode(DisplayMode mode);
    QString searchText() const;

    const QList<Kippet*>& sortedKippets() const { return sorted_; }
    const QList<Kippet*>& filteredKippets() const { return filtered_; }
    // Today's daily kippet (or one named like it) exists: both daily controls are disabled.
    bool isDailyKippetPresent() const { return dailyPresent_; }

    // Create and edit.
    void showCreateSheet();
    void startEditing(Kippet* kippet);
    void createDailyKippet();
    KippetCreation* creation() const { return creation_; }
    KippetEditing* editing() const { return editing_; }

    // The parts a user sees and works.
    QLabel* countLabel() const { return countLabel_; }
    SearchField* searchField() const { return searchField_; }
    QPushButton* dailyKippetButton() const { return dailyButton_; }
    QPushButton* newKippetButton() const { return newButton_; }
    QPushButton* sortButton() const { return sortButton_; }
    QPushButton* displayButton() const { return displayButton_; }
    QWidget* header() const { return header_; }
    // Made the first time no kippet is listed: most starts never show it.
    EmptyStateView* emptyState();
    KippetTileList* tileList() const { return tileList_; }
    QScrollArea* kippetsScrollArea() const { return scroll_; }
    // The header's context menu as it would open now; owned by the header.
    QMenu* buildHeaderMenu();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildKippetsTab();
    void buildSettingsPage();
    QWidget* buildHeader();
    QWidget* buildSectionRow();
    QPushButton* buildMenuButton();
    void rebuildSortMenu();
    void rebuildDisplayMenu();
    void setMenuButtonLabel(QPushButton* button, const QString& symbol, const QString& text);
    void applyIcons();

    void watchKippets();
    void refresh();
    void refreshFilter();
    void updateDailyRule();
    void scheduleMidnight();
    KippetTile* makeTile(Kippet* kippet, DisplayMode mode, QWidget* parent);
    void watchWindowClose();

    SortOrder sortOrder_ = SortOrder::recentlyClosed;
    DisplayMode displayMode_ = DisplayMode::grid;
    QList<Kippet*> sorted_;
    QList<Kippet*> filtered_;
    QSet<QUuid> watched_;
    bool dailyPresent_ = false;

    KippetCreation* creation_ = nullptr;
    KippetEditing* editing_ = nullptr;
    ClockTimer* midnight_ = nullptr;
    QPointer<QWidget> watchedWindow_;

    QScrollArea* scroll_ = nullptr;
    QWidget* header_ = nullptr;
    QWidget* divider_ = nullptr;
    ChoiceMenuStyle* choiceStyle_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* countLabel_ = nullptr;
    SearchField* searchField_ = nullptr;
    QPushButton* dailyButton_ = nullptr;
    QPushButton* newButton_ = nullptr;
    QLabel* sectionTitle_ = nullptr;
    QPushButton* sortButton_ = nullptr;
    QPushButton* displayButton_ = nullptr;
    EmptyStateView* emptyState_ = nullptr;
    // Where the empty state goes when it is made: above the tiles.
    QVBoxLayout* section_ = nullptr;
    KippetTileList* tileList_ = nullptr;
    SettingsPageFactory settingsFactory_;
    bool settingsBuilt_ = false;
};
