// Runs the seeds of one fuzz target through its entry point, as libFuzzer would, with the
// project's normal compiler: every argument is a file or a folder of files (taken in name order).
// A seed that crashes or trips a sanitizer fails the run, and so does one that takes the process's
// peak memory more than memoryLimit above where it started (libFuzzer's -malloc_limit_mb).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
constexpr long memoryLimit = 512L * 1024 * 1024;

long peakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024L;
}

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path& argument) {
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(argument)) {
        for (const auto& entry : std::filesystem::directory_iterator(argument))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    } else {
        inputs.push_back(argument);
    }
    return inputs;
}
} // namespace

int main(int argc, char** argv) {
    // An empty input first, as libFuzzer starts: it brings up Qt and its plugins, which the
    // memory limit does not count.
    LLVMFuzzerTestOneInput(nullptr, 0);
    const long before = peakResidentBytes();
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::filesystem::path& input : inputsOf(argv[i])) {
            std::ifstream file(input, std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "cannot read %s\n", input.c_str());
                return 1;
            }
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                             std::istreambuf_iterator<char>());
            std::printf("replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            if (peakResidentBytes() - before > memoryLimit) {
                std::fprintf(stderr, "%s took the peak memory %ld MB higher\n", input.c_str(),
                             (peakResidentBytes() - before) / (1024 * 1024));
                return 1;
            }
            ++replayed;
        }
    }
    std::printf("%zu input(s) replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
