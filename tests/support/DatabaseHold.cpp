#include "support/DatabaseHold.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

DatabaseHold::DatabaseHold(const QString& path) : name_(QUuid::createUuid().toString()) {
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    database.setDatabaseName(path);
    held_ = database.open() && QSqlQuery(database).exec(QStringLiteral("BEGIN EXCLUSIVE"));
}

DatabaseHold::~DatabaseHold() {
    {
        QSqlDatabase database = QSqlDatabase::database(name_, false);
        QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
        database.close();
    }
    QSqlDatabase::removeDatabase(name_);
}
