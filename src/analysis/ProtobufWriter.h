#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

// Appends fields in protocol buffer wire format. Just enough of the format to write a TensorFlow
// graph: varints, 32-bit floats, length-delimited bytes and nested messages, and packed lists.
class ProtobufWriter {
public:
    void varint(int field, std::uint64_t value);
    void signedVarint(int field, std::int64_t value) {
        varint(field, static_cast<std::uint64_t>(value));
    }
    void boolean(int field, bool value) { varint(field, value ? 1 : 0); }
    void floating(int field, float value);
    void bytes(int field, const QByteArray& value);
    void message(int field, const ProtobufWriter& nested) { bytes(field, nested.data_); }
    void packedVarints(int field, const QList<std::int64_t>& values);
    void packedFloats(int field, const QList<float>& values);

    const QByteArray& data() const { return data_; }

private:
    void tag(int field, int wireType);
    static void appendVarint(QByteArray& into, std::uint64_t value);

    QByteArray data_;
};
