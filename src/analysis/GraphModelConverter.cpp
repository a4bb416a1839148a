#include "analysis/GraphModelConverter.h"

#include "analysis/ProtobufWriter.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtEndian>

namespace {

// Field numbers of TensorFlow's graph messages.
namespace Graph {
constexpr int node = 1;
}
namespace Node {
constexpr int name = 1, op = 2, input = 3, attr = 5;
}
namespace MapEntry {
constexpr int key = 1, value = 2;
}
namespace Attr {
constexpr int list = 1, s = 2, i = 3, f = 4, b = 5, type = 6, shape = 7, tensor = 8;
}
namespace Shape {
constexpr int dim = 2, unknownRank = 3;
}
namespace Dim {
constexpr int size = 1;
}
namespace Tensor {
constexpr int dtype = 1, shape = 2, content = 4, intVal = 7;
}

constexpr int floatType = 1;
constexpr int int32Type = 3;
constexpr int halfType = 19;

const QHash<QString, int>& dataTypes() {
    static const QHash<QString, int> types = {
        {"DT_FLOAT", 1}, {"DT_DOUBLE", 2}, {"DT_INT32", 3}, {"DT_UINT8", 4}, {"DT_INT16", 5},
        {"DT_INT8", 6},  {"DT_STRING", 7}, {"DT_INT64", 9}, {"DT_BOOL", 10}, {"DT_HALF", 19}};
    return types;
}

[[noreturn]] void fail(const QString& why) {
    throw ModelConversionError(QStringLiteral("The image model cannot be read: %1").arg(why));
}

int dataType(const QJsonValue& name) {
    const auto found = dataTypes().constFind(name.toString());
    if (found == dataTypes().constEnd())
        fail(QStringLiteral("unknown data type %1").arg(name.toString()));
    return *found;
}

// Integers arrive as JSON strings (64-bit values) or as numbers.
std::int64_t integer(const QJsonValue& value) {
    return value.isString() ? value.toString().toLongLong() : value.toInteger();
}

ProtobufWriter shapeOf(const QJsonObject& json) {
    ProtobufWriter shape;
    for (const QJsonValue& dim : json.value("dim").toArray()) {
        ProtobufWriter size;
        size.signedVarint(Dim::size, integer(dim.toObject().value("size")));
        shape.message(Shape::dim, size);
    }
    if (json.value("unknownRank").toBool())
        shape.boolean(Shape::unknownRank, true);
    return shape;
}

ProtobufWriter shapeOf(const QList<std::int64_t>& dims) {
    ProtobufWriter shape;
    for (std::int64_t dim : dims) {
        ProtobufWriter size;
        size.signedVarint(Dim::size, dim);
        shape.message(Shape::dim, size);
    }
    return shape;
}

ProtobufWriter listOf(const QJsonObject& json) {
    ProtobufWriter list;
    for (const QJsonValue& s : json.value("s").toArray())
        list.bytes(Attr::s, QByteArray::fromBase64(s.toString().toLatin1()));
    QList<std::int64_t> integers;
    for (const QJsonValue& i : json.value("i").toArray())
        integers.append(integer(i));
    if (!integers.isEmpty())
        list.packedVarints(Attr::i, integers);
    QList<float> floats;
    for (const QJsonValue& f : json.value("f").toArray())
        floats.append(static_cast<float>(f.toDouble()));
    if (!floats.isEmpty())
        list.packedFloats(Attr::f, floats);
    QList<std::int64_t> booleans;
    for (const QJsonValue& b : json.value("b").toArray())
        booleans.append(b.toBool() ? 1 : 0);
    if (!booleans.isEmpty())
        list.packedVarints(Attr::b, booleans);
    QList<std::int64_t> types;
    for (const QJsonValue& type : json.value("type").toArray())
        types.append(dataType(type));
    if (!types.isEmpty())
        list.packedVarints(Attr::type, types);
    for (const QJsonValue& shape : json.value("shape").toArray())
        list.message(Attr::shape, shapeOf(shape.toObject()));
    return list;
}

ProtobufWriter attrValueOf(const QString& name, const QJsonObject& json) {
    ProtobufWriter value;
    if (json.contains("list"))
        value.message(Attr::list, listOf(json.value("list").toObject()));
    else if (json.contains("s"))
        value.bytes(Attr::s, QByteArray::fromBase64(json.value("s").toString().toLatin1()));
    else if (json.contains("i"))
        value.signedVarint(Attr::i, integer(json.value("i")));
    else if (json.contains("f"))
        value.floating(Attr::f, static_cast<float>(json.value("f").toDouble()));
    else if (json.contains("b"))
        value.boolean(Attr::b, json.value("b").toBool());
    else if (json.contains("type"))
        value.varint(Attr::type, static_cast<std::uint64_t>(dataType(json.value("type"))));
    else if (json.contains("shape"))
        value.message(Attr::shape, shapeOf(json.value("shape").toObject()));
    else
        fail(QStringLiteral("attribute %1 has a kind this reader does not know").arg(name));
    return value;
}

struct Weight {
    int dtype = floatType;
    QList<std::int64_t> shape;
    QByteArray values; // float32, float16 or int32, little endian
};

// Slices the weight file in manifest order. Float16-quantized values stay half-precision
// constants, which the importer widens as it builds the network: the graph a process keeps is
// then half the size.
QHash<QString, Weight> weightsOf(const QJsonArray& manifest, const QByteArray& data) {
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "weights are copied as little-endian values");
    QHash<QString, Weight> weights;
    qsizetype offset = 0;
    for (const QJsonValue& group : manifest) {
        for (const QJsonValue& entryValue : group.toObject().value("weights").toArray()) {
            const QJsonObject entry = entryValue.toObject();
            const QString name = entry.value("name").toString();
            const QString dtype = entry.value("dtype").toString();
            const QString quantized =
                entry.value("quantization").toObject().value("dtype").toString();
            Weight weight;
            qsizetype count = 1;
            for (const QJsonValue& dimValue : entry.value("shape").toArray()) {
                const std::int64_t dim = integer(dimValue);
                // Checked before multiplying, so that no shape can overflow the count.
                if (dim < 0 || (dim > 0 && count > data.size() / dim))
                    fail(QStringLiteral("weight %1 is larger than the weight file").arg(name));
                weight.shape.append(dim);
                count *= dim;
            }
            int width = 4;
            if (dtype == "float32" && quantized == "float16")
                width = 2;
            else if ((dtype != "float32" && dtype != "int32") || !quantized.isEmpty())
                fail(QStringLiteral("weight %1 is stored as %2 %3").arg(name, dtype, quantized));
            weight.dtype = dtype == "int32" ? int32Type : width == 2 ? halfType : floatType;
            if (count > (data.size() - offset) / width)
                fail(QStringLiteral("the weight file ends before %1").arg(name));
            weight.values = QByteArray(data.constData() + offset, count * width);
            offset += count * width;
            weights.insert(name, weight);
        }
    }
    return weights;
}

ProtobufWriter tensorOf(const Weight& weight) {
    ProtobufWriter tensor;
    tensor.varint(Tensor::dtype, static_cast<std::uint64_t>(weight.dtype));
    tensor.message(Tensor::shape, shapeOf(weight.shape));
    if (weight.dtype == int32Type) {
        QList<std::int64_t> values;
        for (qsizetype at = 0; at + 4 <= weight.values.size(); at += 4)
            values.append(qFromLittleEndian<qint32>(weight.values.constData() + at));
        if (!values.isEmpty())
            tensor.packedVarints(Tensor::intVal, values);
    } else {
        tensor.bytes(Tensor::content, weight.values);
    }
    return tensor;
}

QString producerOf(const QString& input) {
    QString name = input.startsWith(QLatin1Char('^')) ? input.mid(1) : input;
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    return colon < 0 ? name : name.left(colon);
}

// The names of the nodes the output depends on, the output included.
QSet<QString> needed(const QHash<QString, QJsonObject>& nodes, const QString& output) {
    QSet<QString> kept;
    QList<QString> pending{output};
    while (!pending.isEmpty()) {
        const QString name = pending.takeLast();
        if (kept.contains(name))
            continue;
        const auto node = nodes.constFind(name);
        if (node == nodes.constEnd())
            fail(QStringLiteral("no node %1").arg(name));
        kept.insert(name);
        for (const QJsonValue& input : node->value("input").toArray())
            pending.append(producerOf(input.toString()));
    }
    return kept;
}

class GraphWriter {
public:
    void node(const QString& name, const QString& op, const QStringList& inputs,
              const QList<std::pair<QString, ProtobufWriter>>& attrs) {
        ProtobufWriter node;
        node.bytes(Node::name, name.toUtf8());
        node.bytes(Node::op, op.toUtf8());
        for (const QString& input : inputs)
            node.bytes(Node::input, input.toUtf8());
        for (const auto& [key, value] : attrs) {
            ProtobufWriter entry;
            entry.bytes(MapEntry::key, key.toUtf8());
            entry.message(MapEntry::value, value);
            node.message(Node::attr, entry);
        }
        graph_.message(Graph::node, node);
    }
    QByteArray data() const { return graph_.data(); }

private:
    ProtobufWriter graph_;
};

using Attrs = QList<std::pair<QString, ProtobufWriter>>;

Attrs attrsOf(const QJsonObject& json, const QSet<QString>& dropped = {}) {
    Attrs attrs;
    for (auto it = json.constBegin(); it != json.constEnd(); ++it)
        if (!dropped.contains(it.key()))
            attrs.append({it.key(), attrValueOf(it.key(), it.value().toObject())});
    return attrs;
}

ProtobufWriter typeAttr(int type) {
    ProtobufWriter value;
    value.varint(Attr::type, static_cast<std::uint64_t>(type));
    return value;
}

// _FusedConv2D and FusedDepthwiseConv2dNative: the convolution, a bias and an optional
// activation. The last of them keeps the fused node's name, so its consumers still find it.
void writeSplit(GraphWriter& graph, const QString& name, const QString& convolution,
                const QJsonObject& json) {
    const QJsonObject attrs = json.value("attr").toObject();
    QStringList fused;
    for (const QJsonValue& op :
         attrs.value("fused_ops").toObject().value("list").toObject().value("s").toArray())
        fused.append(QString::fromUtf8(QByteArray::fromBase64(op.toString().toLatin1())));
    const QJsonArray inputs = json.value("input").toArray();
    const bool withActivation = fused.size() == 2 && (fused[1] == "Relu" || fused[1] == "Relu6");
    if (fused.isEmpty() || fused[0] != "BiasAdd" || (fused.size() == 2 && !withActivation) ||
        fused.size() > 2 || inputs.size() != 3)
        fail(QStringLiteral("node %1 fuses %2").arg(name, fused.join(QLatin1Char('+'))));

    const QString convName = name + "/split_convolution";
    const QString biasName = withActivation ? name + "/split_bias" : name;
    graph.node(convName, convolution, {inputs[0].toString(), inputs[1].toString()},
               attrsOf(attrs, {"fused_ops", "num_args", "epsilon", "leakyrelu_alpha"}));
    Attrs biasAttrs{{"T", typeAttr(floatType)}};
    if (attrs.contains("data_format"))
        biasAttrs.append(
            {"data_format", attrValueOf("data_format", attrs.value("data_format").toObject())});
    graph.node(biasName, "BiasAdd", {convName, inputs[2].toString()}, biasAttrs);
    if (withActivation)
        graph.node(name, fused[1], {biasName}, {{"T", typeAttr(floatType)}});
}

} // namespace

QByteArray GraphModelConverter::convert(const QByteArray& topologyJson, const QByteArray& weights,
                                        const QString& output) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(topologyJson, &error);
    if (!document.isObject())
        fail(QStringLiteral("the topology is not a JSON object (%1)").arg(error.errorString()));
    const QJsonObject model = document.object();
    const QJsonArray nodeList = model.value("modelTopology").toObject().value("node").toArray();
    if (nodeList.isEmpty())
        fail(QStringLiteral("the topology has no nodes"));

    QHash<QString, QJsonObject> nodes;
    for (const QJsonValue& node : nodeList)
        nodes.insert(node.toObject().value("name").toString(), node.toObject());
    const QSet<QString> kept = needed(nodes, output);
    const QHash<QString, Weight> values =
        weightsOf(model.value("weightsManifest").toArray(), weights);

    GraphWriter graph;
    for (const QJsonValue& nodeValue : nodeList) {
        const QJsonObject node = nodeValue.toObject();
        const QString name = node.value("name").toString();
        if (!kept.contains(name))
            continue;
        const QString op = node.value("op").toString();
        QStringList inputs;
        for (const QJsonValue& input : node.value("input").toArray())
            inputs.append(input.toString());
        if (op == "Const") {
            const auto weight = values.constFind(name);
            if (weight == values.constEnd())
                fail(QStringLiteral("no weights for %1").arg(name));
            ProtobufWriter tensor;
            tensor.message(Attr::tensor, tensorOf(*weight));
            graph.node(name, op, {}, {{"dtype", typeAttr(weight->dtype)}, {"value", tensor}});
        } else if (op == "_FusedConv2D") {
            writeSplit(graph, name, "Conv2D", node);
        } else if (op == "FusedDepthwiseConv2dNative") {
            writeSplit(graph, name, "DepthwiseConv2dNative", node);
        } else {
            graph.node(name, op, inputs, attrsOf(node.value("attr").toObject()));
        }
    }
    return graph.data();
}
