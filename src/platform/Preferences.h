#pragma once

#include <QByteArray>
#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

// Typed access to the user's preferences, keyed exactly as stored ("ai_mode",
// "icloud_sync_enabled", ...). A stored false stays distinguishable from an absent key: the
// optional readers return nothing only when the key is absent (or holds a value that cannot be read
// as the asked type).
class Preferences : public QObject {
    Q_OBJECT
public:
    // The user's own preferences (~/.config/Kippets/Kippets.conf).
    Preferences();
    // Preferences kept in the given INI file; used for tests and "-useTemporaryStorage".
    explicit Preferences(const QString& filePath);
    ~Preferences() override;

    // The instance installed by the composition root (main or a test fixture).
    static Preferences& shared();
    static void install(Preferences* preferences);

    bool contains(const QString& key) const;
    void remove(const QString& key);

    std::optional<bool> boolValue(const QString& key) const;
    std::optional<int> intValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;

    // Shorthands for the common "default when absent" reads.
    bool boolOr(const QString& key, bool fallback) const {
        return boolValue(key).value_or(fallback);
    }
    int intOr(const QString& key, int fallback) const { return intValue(key).value_or(fallback); }
    QString stringOr(const QString& key, const QString& fallback) const {
        return stringValue(key).value_or(fallback);
    }

    void setBool(const QString& key, bool value);
    void setInt(const QString& key, int value);
    void setDouble(const QString& key, double value);
    void setString(const QString& key, const QString& value);
    void setData(const QString& key, const QByteArray& value);

    // Writes pending changes to disk now (QSettings also does so on its own).
    void sync();
    QString fileName() const;

signals:
    void changed(const QString& key);

private:
    void store(const QString& key, const QVariant& value);

    std::unique_ptr<QSettings> settings_;
};
