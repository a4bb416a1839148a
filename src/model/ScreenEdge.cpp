#include "model/ScreenEdge.h"

QString rawValue(ScreenEdge edge) {
    switch (edge) {
    case ScreenEdge::top:
        return QStringLiteral("Top");
    case ScreenEdge::bottom:
        return QStringLiteral("Bottom");
    case ScreenEdge::left:
        return QStringLiteral("Left");
    case ScreenEdge::right:
        return QStringLiteral("Right");
    }
    return {};
}

std::optional<ScreenEdge> screenEdgeFromRaw(const QString& raw) {
    for (ScreenEdge edge : allScreenEdges()) {
        if (rawValue(edge) == raw)
            return edge;
    }
    return std::nullopt;
}

const QList<ScreenEdge>& allScreenEdges() {
    static const QList<ScreenEdge> edges{ScreenEdge::top, ScreenEdge::bottom, ScreenEdge::left,
                                         ScreenEdge::right};
    return edges;
}
