#include "platform/Preferences.h"

#include <QPointer>

namespace {
QPointer<Preferences>& installed() {
    static QPointer<Preferences> instance;
    return instance;
}
} // namespace

// On Linux the native format is the same INI text, kept in ~/.config/Kippets/Kippets.conf.
Preferences::Preferences()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Kippets"), QStringLiteral("Kippets"))) {
}

Preferences::Preferences(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

Preferences::~Preferences() {
    settings_->sync();
}

Preferences& Preferences::shared() {
    if (!installed()) {
        // Only the app reaches this; tests install their own temporary preferences first.
        static Preferences user;
        installed() = &user;
    }
    return *installed();
}

void Preferences::install(Preferences* preferences) {
    installed() = preferences;
}

bool Preferences::contains(const QString& key) const {
    return settings_->contains(key);
}

void Preferences::remove(const QString& key) {
    settings_->remove(key);
    emit changed(key);
}

// The INI file keeps every value as text, so a reload gives "false" back as a string: read it as
// a Boolean by its text. An absent key is the only thing that reads as "no value".
std::optional<bool> Preferences::boolValue(const QString& key) const {
    const QVariant value = settings_->value(key);
    if (!value.isValid())
        return std::nullopt;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

std::optional<int> Preferences::intValue(const QString& key) const {
    const QVariant value = settings_->value(key);
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!value.isValid() || !ok)
        return std::nullopt;
    return number;
}

std::optional<double> Preferences::doubleValue(const QString& key) const {
    const QVariant value = settings_->value(key);
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!value.isValid() || !ok)
        return std::nullopt;
    return number;
}

std::optional<QString> Preferences::stringValue(const QString& key) const {
    const QVariant value = settings_->value(key);
    if (!value.isValid() || value.typeId() == QMetaType::QByteArray)
        return std::nullopt;
    return value.toString();
}

std::optional<QByteArray> Preferences::dataValue(const QString& key) const {
    const QVariant value = settings_->value(key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    return value.toString().toUtf8();
}

void Preferences::setBool(const QString& key, bool value) {
    store(key, value);
}
void Preferences::setInt(const QString& key, int value) {
    store(key, value);
}
void Preferences::setDouble(const QString& key, double value) {
    store(key, value);
}
void Preferences::setString(const QString& key, const QString& value) {
    store(key, value);
}
void Preferences::setData(const QString& key, const QByteArray& value) {
    store(key, value);
}

void Preferences::sync() {
    settings_->sync();
}

QString Preferences::fileName() const {
    return settings_->fileName();
}

void Preferences::store(const QString& key, const QVariant& value) {
    settings_->setValue(key, value);
    emit changed(key);
}
