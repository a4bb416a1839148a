#pragma once

#include <cstddef>

// The C interface of the module that runs the image label network. The module links OpenCV and
// is loaded on the first classification, so that processes that never label an image (and every
// start of the app) do not load and relocate OpenCV and the libraries it pulls in. No exception
// crosses it: failures return null or -1 with a reason written into `error`.
extern "C" {
// Reads a binary TensorFlow graph; the returned handle is closed with the close function.
using LabelNetworkOpen = void* (*)(const char* graph, std::size_t size, char* error,
                                   std::size_t errorSize);
// Runs one image given as planar RGB floats (1 × 3 × height × width) and writes the maximum of
// each channel of the named output into `maxima`. Returns the number of channels, or -1.
// One call at a time per handle.
using LabelNetworkRun = int (*)(void* network, const char* output, const float* planes, int height,
                                int width, float* maxima, int capacity, char* error,
                                std::size_t errorSize);
using LabelNetworkClose = void (*)(void* network);
}

namespace LabelNetworkModule {
inline constexpr const char* openSymbol = "kippets_label_network_open";
inline constexpr const char* runSymbol = "kippets_label_network_run";
inline constexpr const char* closeSymbol = "kippets_label_network_close";
} // namespace LabelNetworkModule
