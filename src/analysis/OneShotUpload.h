#pragma once

#include <QByteArray>
#include <QIODevice>

// A request body that can be read once from the start and never rewound. Qt's HTTP layer
// quietly sends a request again when a connection drops before the answer; it must rewind the
// body to do so, and this body refuses, so the request fails instead of reaching the server
// twice: a paid request is billed once.
class OneShotUpload : public QIODevice {
    Q_OBJECT
public:
    explicit OneShotUpload(QByteArray bytes, QObject* parent = nullptr);

    bool isSequential() const override { return false; }
    qint64 size() const override { return bytes_.size(); }
    // Only to where reading stands: a rewind after any byte was read is refused.
    bool seek(qint64 position) override;
    bool reset() override { return seek(0); }
    bool atEnd() const override { return pos() >= bytes_.size(); }

    // How often someone tried to rewind after reading had begun.
    int refusedRewinds() const { return refusedRewinds_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qint64 furthestRead_ = 0;
    int refusedRewinds_ = 0;
};
