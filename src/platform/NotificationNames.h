#pragma once

#include <QString>

// Names of the in-process notifications and their user-info keys, defined once.
namespace NotificationName {
inline const QString kippetWindowPasteRequested = QStringLiteral("KippetWindowPasteRequested");
inline const QString kippetWindowImportRequested = QStringLiteral("KippetWindowImportRequested");
inline const QString kippetWindowActiveStateChanged =
    QStringLiteral("KippetWindowActiveStateChanged");
inline const QString editorWindowStateChanged = QStringLiteral("EditorWindowStateChanged");
inline const QString keyboardShortcutsUpdated = QStringLiteral("KeyboardShortcutsUpdated");
inline const QString tuckAwayEdgeChanged = QStringLiteral("TuckAwayEdgeChanged");
inline const QString tuckSingleEdgeChanged = QStringLiteral("TuckSingleEdgeChanged");
inline const QString tuckSingleSelectionChanged = QStringLiteral("TuckSingleSelectionChanged");
inline const QString showOnboarding = QStringLiteral("showOnboarding");
inline const QString onboardingWindowClosing = QStringLiteral("OnboardingWindowClosing");
inline const QString onboardingGoBack = QStringLiteral("OnboardingGoBack");
inline const QString onboardingGoNext = QStringLiteral("OnboardingGoNext");
inline const QString dashboardSwitchToKippets = QStringLiteral("dashboardSwitchToKippets");
inline const QString dashboardSwitchToSettings = QStringLiteral("dashboardSwitchToSettings");
inline const QString demoKippetExpanded = QStringLiteral("DemoKippetExpanded");
inline const QString demoKippetCollapsed = QStringLiteral("DemoKippetCollapsed");
inline const QString demoKippetMiniView = QStringLiteral("DemoKippetMiniView");
inline const QString demoKippetMoved = QStringLiteral("DemoKippetMoved");
inline const QString demoKippetPaste = QStringLiteral("DemoKippetPaste");
inline const QString createNewKippet = QStringLiteral("CreateNewKippet");
} // namespace NotificationName

namespace UserInfoKey {
inline const QString kippetId = QStringLiteral("kippetId");
inline const QString isActive = QStringLiteral("isActive");
inline const QString edge = QStringLiteral("edge");
inline const QString isSelected = QStringLiteral("isSelected");
} // namespace UserInfoKey
