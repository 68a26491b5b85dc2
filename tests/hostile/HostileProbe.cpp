// Loads the built plugin as a host does, asks every field of each hostile
// file in turn, then every field of a normal package, and prints what it saw:
//   case <i> ms <elapsed> cpu_ms <processor time>   (the i-th file's requests)
//   field <n> <code> <UTF-8 value>   (for the normal package)
//   peak_kb <VmHWM of the process at the end>
// The test runs a probe per case or per small group of cases, in a process
// of its own, so a crash or the peak memory belongs to that case alone.
//
// With --concurrent first, each hostile file is read on a thread of its own
// while the main thread asks for the normal package's name as soon as the
// hostile reading has begun, as a host's second thread would:
//   concurrent <i> wait_ms <the normal request> hostile_ms <wall> hostile_cpu_ms <thread cpu>
#include "base/Text.h"
#include "platform/Platform.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

namespace {

using TGetValueW = int32_t (*)(const char16_t*, int32_t, int32_t, void*, int32_t, int32_t);
using TSetDefaultParams = void (*)(void*);

constexpr int FieldCount = 23;

long PeakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

long Milliseconds(std::chrono::steady_clock::duration elapsed)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void AskEveryField(TGetValueW getValue, const std::u16string& file)
{
    static thread_local char16_t buffer[32768];
    for (int field = 0; field < FieldCount; ++field)
        getValue(file.c_str(), field, 0, buffer, sizeof(buffer), 0);
}

// The hostile reading holds the plugin lock; the normal request waits for
// it and must come back within the time one reading may take.
void RunConcurrent(TGetValueW getValue, const std::u16string& normal, int index, const std::u16string& hostile)
{
    std::atomic<bool> started {false};
    long hostileMs = 0;
    double hostileCpuMs = 0;
    std::thread reader([&] {
        const auto start = std::chrono::steady_clock::now();
        const int64_t cpuStart = addoscope::platform::ThreadCpuNanoseconds();
        started = true;
        AskEveryField(getValue, hostile);
        hostileCpuMs = double(addoscope::platform::ThreadCpuNanoseconds() - cpuStart) / 1e6;
        hostileMs = Milliseconds(std::chrono::steady_clock::now() - start);
    });
    while (!started)
        std::this_thread::yield();
    // Long enough for the reader to be inside its request.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    char16_t buffer[1024];
    getValue(normal.c_str(), 3, 0, buffer, sizeof(buffer), 0);
    const long waitMs = Milliseconds(std::chrono::steady_clock::now() - start);
    reader.join();
    std::printf("concurrent %d wait_ms %ld hostile_ms %ld hostile_cpu_ms %.0f\n", index, waitMs, hostileMs,
                hostileCpuMs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace addoscope;
    bool concurrent = false;
    if (argc > 1 && std::strcmp(argv[1], "--concurrent") == 0) {
        concurrent = true;
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PLUGIN NORMAL-FILE [HOSTILE-FILE...]\n", argv[0]);
        return 2;
    }
    // The library stays loaded until the process ends: unloading is tested
    // on its own elsewhere, and here a leak report at exit must point at
    // what the requests left behind, not at what a module keeps until unload.
    static platform::TLibrary* const kept = new platform::TLibrary(base::Utf8ToUtf16(argv[1]));
    platform::TLibrary& library = *kept;
    auto setDefaultParams = reinterpret_cast<TSetDefaultParams>(library.Symbol("ContentSetDefaultParams"));
    auto getValue = reinterpret_cast<TGetValueW>(library.Symbol("ContentGetValueW"));
    if (!setDefaultParams || !getValue) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    char params[4108] = {};
    setDefaultParams(params);

    static char16_t buffer[32768];
    if (concurrent) {
        const std::u16string normal = base::Utf8ToUtf16(argv[2]);
        for (int i = 3; i < argc; ++i)
            RunConcurrent(getValue, normal, i - 3, base::Utf8ToUtf16(argv[i]));
        std::printf("peak_kb %ld\n", PeakKilobytes());
        return 0;
    }
    for (int i = 3; i < argc; ++i) {
        const std::u16string hostile = base::Utf8ToUtf16(argv[i]);
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        for (int field = 0; field < FieldCount; ++field)
            getValue(hostile.c_str(), field, 0, buffer, sizeof(buffer), 0);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const double cpuMilliseconds = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
        std::printf("case %d ms %lld cpu_ms %.0f\n", i - 3,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()),
                    cpuMilliseconds);
        std::fflush(stdout);
    }

    const std::u16string normal = base::Utf8ToUtf16(argv[2]);
    for (int field = 0; field < FieldCount; ++field) {
        buffer[0] = 0;
        const int32_t code = getValue(normal.c_str(), field, 0, buffer, sizeof(buffer), 0);
        std::printf("field %d %d %s\n", field, code, code == 11 ? base::Utf16ToUtf8(buffer).c_str() : "");
    }
    std::printf("peak_kb %ld\n", PeakKilobytes());
    return 0;
}
