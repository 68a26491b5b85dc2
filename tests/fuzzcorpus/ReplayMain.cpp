// Replays a fuzz target's corpus without libFuzzer: every file named on the
// command line, or found in a folder named there, is handed to the target
// once. Whatever the target does wrong then shows as a crash, a sanitizer
// report or a non-zero exit, as it did in the fuzzer.
//
// Each input runs inside the plugin's reading budget, which is a backstop
// for hostile files: an input that spends it fails the replay, as none of
// the corpus inputs may come near it. Sanitizer builds run several times
// slower, so there only the memory half applies.
#include "base/Budget.h"
#include "plugin/PluginState.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that reading past its end is
    // caught by the address sanitizer, as under libFuzzer.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
#if defined(ADDOSCOPE_SANITIZED)
    constexpr int64_t cpuBudget = INT64_MAX / 2;
#else
    constexpr int64_t cpuBudget = addoscope::plugin::ReadingCpuBudget;
#endif
    addoscope::base::TReadingBudget budget(cpuBudget, addoscope::plugin::ReadingMemoryBudget);
    const int result = LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    if (budget.Exceeded()) {
        std::fprintf(stderr, "%s spent the reading budget\n", file.string().c_str());
        return 1;
    }
    return result == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    int inputs = 0;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
        for (const auto& file : files) {
            ++inputs;
            failures += Replay(file);
        }
    }
    std::printf("%d inputs replayed, %d failed\n", inputs, failures);
    return inputs > 0 && failures == 0 ? 0 : 1;
}
