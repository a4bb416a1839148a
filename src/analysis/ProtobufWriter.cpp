#include "analysis/ProtobufWriter.h"

#include <QtEndian>
#include <cstring>

namespace {
enum WireType { varintType = 0, fixed32Type = 5, lengthType = 2 };

QByteArray littleEndian(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    bits = qToLittleEndian(bits);
    return QByteArray(reinterpret_cast<const char*>(&bits), sizeof bits);
}
} // namespace

void ProtobufWriter::varint(int field, std::uint64_t value) {
    tag(field, varintType);
    appendVarint(data_, value);
}

void ProtobufWriter::floating(int field, float value) {
    tag(field, fixed32Type);
    data_.append(littleEndian(value));
}

void ProtobufWriter::bytes(int field, const QByteArray& value) {
    tag(field, lengthType);
    appendVarint(data_, static_cast<std::uint64_t>(value.size()));
    data_.append(value);
}

void ProtobufWriter::packedVarints(int field, const QList<std::int64_t>& values) {
    QByteArray packed;
    for (std::int64_t value : values)
        appendVarint(packed, static_cast<std::uint64_t>(value));
    bytes(field, packed);
}

void ProtobufWriter::packedFloats(int field, const QList<float>& values) {
    QByteArray packed;
    for (float value : values)
        packed.append(littleEndian(value));
    bytes(field, packed);
}

void ProtobufWriter::tag(int field, int wireType) {
    appendVarint(data_,
                 static_cast<std::uint64_t>(field) << 3 | static_cast<std::uint64_t>(wireType));
}

void ProtobufWriter::appendVarint(QByteArray& into, std::uint64_t value) {
    while (value >= 0x80) {
        into.append(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    into.append(static_cast<char>(value));
}
