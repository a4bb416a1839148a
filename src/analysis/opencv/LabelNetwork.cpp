// The OpenCV side of image labelling, built as a module of its own (see LabelNetworkModule.h).

#include "analysis/LabelNetworkModule.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <opencv2/dnn.hpp>

namespace {

void report(const char* what, char* error, std::size_t errorSize) {
    if (error && errorSize > 0)
        std::snprintf(error, errorSize, "%s", what);
}

int classMaxima(const char* graph, std::size_t size, const char* output, const float* planes,
                int height, int width, float* maxima, int capacity, char* error,
                std::size_t errorSize) {
    cv::dnn::Net network = cv::dnn::readNetFromTensorflow(graph, size);
    if (network.empty()) {
        report("the graph holds no layers", error, errorSize);
        return -1;
    }
    const int shape[] = {1, 3, height, width};
    // The blob only borrows the caller's planes; the network copies what it keeps.
    const cv::Mat input(4, shape, CV_32F, const_cast<float*>(planes));
    network.setInput(input);
    const cv::Mat result = network.forward(output);
    if (result.dims != 4 || result.size[0] != 1 || result.type() != CV_32F) {
        report("the output is not one map per class", error, errorSize);
        return -1;
    }
    const int channels = result.size[1];
    const std::size_t area = static_cast<std::size_t>(result.size[2]) * result.size[3];
    const cv::Mat contiguous = result.isContinuous() ? result : result.clone();
    const float* data = contiguous.ptr<float>();
    for (int channel = 0; channel < std::min(channels, capacity); ++channel) {
        const float* map = data + channel * area;
        maxima[channel] = area == 0 ? 0.0f : *std::max_element(map, map + area);
    }
    return channels;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
kippets_label_network_class_maxima(const char* graph, std::size_t size, const char* output,
                                   const float* planes, int height, int width, float* maxima,
                                   int capacity, char* error, std::size_t errorSize) {
    int channels = -1;
    try {
        channels = classMaxima(graph, size, output, planes, height, width, maxima, capacity, error,
                               errorSize);
    } catch (const std::exception& failure) {
        report(failure.what(), error, errorSize);
    } catch (...) {
        report("unknown failure", error, errorSize);
    }
    return channels;
}
