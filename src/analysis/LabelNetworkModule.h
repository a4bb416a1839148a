#pragma once

#include <cstddef>

// The C interface of the module that runs the image label network. The module links OpenCV and
// is loaded on the first classification, so that processes that never label an image (and every
// start of the app) do not load and relocate OpenCV and the libraries it pulls in. No exception
// crosses it: a failure returns -1 with a reason written into `error`.
extern "C" {
// Builds the network from a binary TensorFlow graph, runs one image given as planar RGB floats
// (1 × 3 × height × width), writes the maximum of each channel of the named output into
// `maxima` and frees the network again. Returns the number of channels, or -1.
//
// The network is not kept: its buffers for a 512 × 512 image take several times the memory of
// the model, while building it again costs a fraction of a run, and images are labelled rarely.
using LabelNetworkClassMaxima = int (*)(const char* graph, std::size_t size, const char* output,
                                        const float* planes, int height, int width, float* maxima,
                                        int capacity, char* error, std::size_t errorSize);
}

namespace LabelNetworkModule {
inline constexpr const char* classMaximaSymbol = "kippets_label_network_class_maxima";
} // namespace LabelNetworkModule
