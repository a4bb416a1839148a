#pragma once

#include "platform/KippetsError.h"

#include <QByteArray>
#include <QString>

// Turns a TensorFlow.js graph model (its JSON topology and its weight file) into a binary
// TensorFlow GraphDef that OpenCV's network importer reads. Only the nodes the named output
// depends on are kept, so decoding steps after it (top-k, gathers) that the importer does not
// know never reach it. The fused operations the TensorFlow.js converter writes are split back into
// convolution, bias and activation; integer constants are written element by element, because
// the importer misreads small integer tensors given as raw content; float16-quantized weights
// stay half-precision constants.
class GraphModelConverter {
public:
    static QByteArray convert(const QByteArray& topologyJson, const QByteArray& weights,
                              const QString& output);
};

// The model files are not a graph model this converter understands.
class ModelConversionError : public KippetsError {
public:
    using KippetsError::KippetsError;
};
