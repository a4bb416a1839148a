#pragma once

#include "analysis/AIMode.h"

#include <QObject>
#include <optional>

class Preferences;

// The user's analysis preferences over a preferences store. Every user builds its own instance;
// it reads the store once when built, so a change made through another instance is seen only
// by instances built afterwards.
class AIPreferences : public QObject {
    Q_OBJECT
public:
    static inline const QString modeKey = QStringLiteral("ai_mode");
    static inline const QString preferCloudForImagesKey =
        QStringLiteral("ai_prefer_cloud_for_images");

    // hasKey: whether a cloud API key is stored; it decides the mode written on first use.
    AIPreferences(Preferences& defaults, bool hasKey, QObject* parent = nullptr);
    // The same while whether a key is stored may not be known yet (a keyring that has not
    // answered, or is locked): then nothing is written, and the mode reads as on-device until
    // settleFirstMode is told.
    AIPreferences(Preferences& defaults, std::optional<bool> hasKey, QObject* parent = nullptr);
    // Once the key's presence is known: writes the first mode when none is stored yet.
    void settleFirstMode(bool hasKey);

    Preferences& defaults() const { return defaults_; }

    AIMode mode() const { return mode_; }
    // Writes on every assignment; notifies only on a change.
    void setMode(AIMode mode);

    bool preferCloudForImages() const { return preferCloudForImages_; }
    void setPreferCloudForImages(bool prefer);

signals:
    void modeChanged(AIMode mode);
    void preferCloudForImagesChanged(bool prefer);

private:
    Preferences& defaults_;
    AIMode mode_ = AIMode::onDevice;
    bool preferCloudForImages_ = false;
};
