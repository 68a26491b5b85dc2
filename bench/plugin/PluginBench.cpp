// The plugin as a file manager uses it, over a generated set of packages:
// cold requests for all sixteen fields against a small Python script that
// reads the same manifest values, warm cache hits against a bare stat()
// of the same path, and the peak memory of the process.
#include "base/Text.h"
#include "bench/CpuTime.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace fs = std::filesystem;
using namespace addoscope;
using Clock = std::chrono::steady_clock;

namespace {

using TGetValueW = int32_t (*)(const char16_t*, int32_t, int32_t, void*, int32_t, int32_t);
using TSetDefaultParams = void (*)(void*);

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ProcessCpuSeconds()
{
    return bench::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double ChildrenCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool IsCrx(const std::u16string& file)
{
    return file.find(u".crx") != std::u16string::npos;
}

long StatusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + std::string(key).size(), nullptr, 10);
    return -1;
}

void Line(const char* what, const std::string& ours, const std::string& peer, double ratio)
{
    std::printf("%-44s ours %-16s peer %-16s ratio %.2f\n", what, ours.c_str(), peer.c_str(), ratio);
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const fs::path packages = fs::temp_directory_path() / ("addoscope-bench-packages-" + std::to_string(count));
    const std::string here = ADDOSCOPE_BENCH_SOURCE_DIR;
    if (!fs::exists(packages / ".complete")) {
        fs::remove_all(packages);
        const std::string make = "python3 " + here + "/make_packages.py " + packages.string() + " " +
                                 std::to_string(count);
        if (std::system(make.c_str()) != 0)
            return 1;
        std::ofstream(packages / ".complete") << count;
    }
    std::vector<std::u16string> files;
    uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(packages))
        if (entry.path().filename() != ".complete") {
            files.push_back(base::Utf8ToUtf16(entry.path().string()));
            bytes += entry.file_size();
        }
    std::printf("%zu packages, %.0f MB\n", files.size(), static_cast<double>(bytes) / 1e6);

    // A private copy of the plugin, so no settings file of another run applies.
    const fs::path work = fs::temp_directory_path() / "addoscope-bench-plugin";
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string name = sizeof(void*) == 8 ? "Addoscope.wdx64" : "Addoscope.wdx";
    fs::copy_file(fs::path(ADDOSCOPE_BIN_DIR) / name, work / name);
    const long rssBefore = StatusKiB("VmRSS:");
    platform::TLibrary library(base::Utf8ToUtf16((work / name).string()));
    if (!library.IsLoaded()) {
        std::fprintf(stderr, "cannot load the plugin: %s\n", library.ErrorText().c_str());
        return 1;
    }
    auto getValue = reinterpret_cast<TGetValueW>(library.Symbol("ContentGetValueW"));
    auto setDefaultParams = reinterpret_cast<TSetDefaultParams>(library.Symbol("ContentSetDefaultParams"));
    char params[4108] = {};
    setDefaultParams(params);
    std::vector<char16_t> buffer(1025);

    // (a) Cold: every field of every package, as a column view asks: first
    // with the delay-if-slow flag (answered at once), then for the value.
    auto start = Clock::now();
    double cpuStart = ProcessCpuSeconds();
    size_t named = 0;
    double cpuByKind[2] = {0, 0};
    size_t countByKind[2] = {0, 0};
    for (const auto& file : files) {
        const double fileStart = ProcessCpuSeconds();
        for (int field = 0; field < 16; ++field) {
            if (getValue(file.c_str(), field, 0, buffer.data(), 2050, 1) == 0 &&
                getValue(file.c_str(), field, 0, buffer.data(), 2050, 0) == 11 && field == 3)
                ++named;
        }
        cpuByKind[IsCrx(file)] += ProcessCpuSeconds() - fileStart;
        ++countByKind[IsCrx(file)];
    }
    const double cold = Seconds(start);
    const double coldCpu = ProcessCpuSeconds() - cpuStart;
    const long rssAfter = StatusKiB("VmRSS:");

    start = Clock::now();
    cpuStart = ChildrenCpuSeconds();
    const std::string baseline = "python3 " + here + "/baseline.py " + packages.string() + " > /dev/null";
    if (std::system(baseline.c_str()) != 0)
        std::fprintf(stderr, "the Python baseline failed\n");
    const double python = Seconds(start);
    const double pythonCpu = ChildrenCpuSeconds() - cpuStart;
    std::printf("packages with a name: %zu of %zu\n", named, files.size());
    Line("cold: all 16 fields of every package (s)", Format("%.3f", cold), Format("%.3f", python), python / cold);
    Line("cold: the same in processor time (s)", Format("%.3f", coldCpu), Format("%.3f", pythonCpu),
         pythonCpu / coldCpu);
    Line("cold: packages per second", Format("%.0f", files.size() / cold), Format("%.0f", files.size() / python),
         python / cold);
    const double pythonPerPackage = pythonCpu / static_cast<double>(files.size());
    const char* kindNames[2] = {"XPI", "CRX/CRX3"};
    for (int kind = 0; kind < 2; ++kind)
        if (countByKind[kind] > 0) {
            const double perPackage = cpuByKind[kind] / static_cast<double>(countByKind[kind]);
            const std::string what = std::string("cold: CPU us per ") + kindNames[kind] + " (peer: mean)";
            Line(what.c_str(), Format("%.1f", perPackage * 1e6), Format("%.1f", pythonPerPackage * 1e6),
                 pythonPerPackage / perPackage);
        }

    // (b) Warm: a cache hit against one stat() of the same path.
    const int rounds = 200;
    start = Clock::now();
    for (int round = 0; round < rounds; ++round)
        for (const auto& file : files)
            getValue(file.c_str(), 3, 0, buffer.data(), 2050, 0);
    const double warm = Seconds(start) / (rounds * static_cast<double>(files.size()));
    platform::TFindData found;
    start = Clock::now();
    for (int round = 0; round < rounds; ++round)
        for (const auto& file : files)
            platform::FindFile(file, found);
    const double stat = Seconds(start) / (rounds * static_cast<double>(files.size()));
    Line("warm: cache-hit request vs stat() (us)", Format("%.3f", warm * 1e6), Format("%.3f", stat * 1e6),
         warm / stat);
    // Every request must look at the file (its time and size decide whether
    // the cached record still holds), so 16 cache hits per package are a
    // floor no reading of the package can go below.
    Line("cold floor: 16 cache hits per package (us)", Format("%.1f", 16 * warm * 1e6),
         Format("%.1f", pythonPerPackage * 1e6), pythonPerPackage / (16 * warm));

    // (c) Memory.
    std::printf("memory: peak RSS %.1f MB; RSS grew by %.1f MB while the plugin read and cached %zu packages\n",
                StatusKiB("VmHWM:") / 1024.0, (rssAfter - rssBefore) / 1024.0, files.size());
    fs::remove_all(work);
    return 0;
}
