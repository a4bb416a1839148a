#pragma once

#include <QtGlobal>

// What an analyzer can handle, as a bit set.
struct AnalyzerCapabilities {
    enum Bit : qint64 { text = 1, link = 2, code = 4, file = 8, image = 16, instructions = 32 };
    static constexpr qint64 all = 63;

    qint64 rawValue = 0;

    constexpr AnalyzerCapabilities() = default;
    constexpr explicit AnalyzerCapabilities(qint64 raw) : rawValue(raw) {}

    constexpr bool contains(qint64 bits) const { return (rawValue & bits) == bits; }
    constexpr AnalyzerCapabilities operator|(AnalyzerCapabilities other) const {
        return AnalyzerCapabilities(rawValue | other.rawValue);
    }
    constexpr AnalyzerCapabilities operator&(AnalyzerCapabilities other) const {
        return AnalyzerCapabilities(rawValue & other.rawValue);
    }
    constexpr AnalyzerCapabilities subtracting(AnalyzerCapabilities other) const {
        return AnalyzerCapabilities(rawValue & ~other.rawValue);
    }
    constexpr bool operator==(const AnalyzerCapabilities&) const = default;
};
