#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <memory>

// The MIME data real applications put on drags (tests/analysis/drags), rebuilt as the drop
// handler receives it, with the folder the file managers showed moved to a copy the test owns.
namespace RecordedDrag {

inline QString fixtures() {
    return QStringLiteral(KIPPETS_TESTS_DIR "/analysis/drags");
}

// Copies the recorded folder into `folder`; returns the copy's path.
inline QString copyDocuments(const QString& folder) {
    const QString source = fixtures() + QStringLiteral("/Documents");
    const QString target = folder + QStringLiteral("/Documents");
    QDir().mkpath(target);
    QDirIterator files(source, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString copy = target + path.mid(source.size());
        if (QFileInfo(path).isDir())
            QDir().mkpath(copy);
        else
            QFile::copy(path, copy);
    }
    return target;
}

inline std::unique_ptr<QMimeData> load(const QString& fixture, const QString& documents) {
    QFile file(fixtures() + QStringLiteral("/") + fixture + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing drag fixture");
    const QJsonObject recording = QJsonDocument::fromJson(file.readAll()).object();
    auto data = std::make_unique<QMimeData>();
    const QByteArray recorded = "/home/user/Documents";
    const QByteArray folder = documents.toUtf8();
    for (const QJsonValue& entry : recording["formats"].toArray()) {
        const QJsonObject format = entry.toObject();
        const QString encoding = format["encoding"].toString();
        const QString mime = format["mime"].toString();
        if (encoding == "digest" || mime == "application/x-qt-image")
            continue;
        QByteArray bytes = encoding == "utf8"
                               ? format["data"].toString().toUtf8()
                               : QByteArray::fromBase64(format["data"].toString().toLatin1());
        bytes.replace(recorded, folder);
        data->setData(mime, bytes);
    }
    if (recording["hasImage"].toBool() && data->hasFormat("image/png"))
        data->setImageData(QImage::fromData(data->data("image/png"), "PNG"));
    return data;
}

} // namespace RecordedDrag
