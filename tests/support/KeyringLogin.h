#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QVariant>

// The private keyring's login collection (scripts/with-keyring), locked and unlocked from outside
// as the desktop does it: no prompt either way.
namespace KeyringLogin {

inline const QString& path() {
    static const QString login = QStringLiteral("/org/freedesktop/secrets/collection/login");
    return login;
}

inline QDBusMessage call(const QString& interface, const QString& member, QVariantList arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.secrets"),
                                                       QStringLiteral("/org/freedesktop/secrets"),
                                                       interface, member);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

inline bool lock() {
    return call(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
                {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(path())})})
               .type() == QDBusMessage::ReplyMessage;
}

// With the keyring's password, as the desktop's login does.
inline bool unlock() {
    const QDBusMessage session =
        call(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("OpenSession"),
             {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (session.arguments().size() < 2)
        return false;
    QDBusArgument secret;
    secret.beginStructure();
    secret << session.arguments().at(1).value<QDBusObjectPath>() << QByteArray()
           << QByteArray("kippets-test") << QStringLiteral("text/plain");
    secret.endStructure();
    return call(QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                QStringLiteral("UnlockWithMasterPassword"),
                {QVariant::fromValue(QDBusObjectPath(path())), QVariant::fromValue(secret)})
               .type() == QDBusMessage::ReplyMessage;
}

} // namespace KeyringLogin
