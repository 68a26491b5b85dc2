// One package read cold, per package kind: the floor (Floor.c: the calls no
// reader can avoid and zlib), libzip + RapidJSON (TZ=UTC, as it would
// otherwise look at /etc/localtime for every entry), our first request and
// our sixteen fields through the plugin's exported functions, a cache hit
// against one stat(); then, from strace, the system calls and bytes read
// for one package, and the peak memory of a process that read it.
//
// usage: bench_coldread [--child ours|floor|peer FILE]
#include "Floor.h"
#include "Peer.h"
#include "base/Text.h"
#include "bench/CpuTime.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace addoscope;

namespace {

using TGetValueW = int32_t (*)(const char16_t*, int32_t, int32_t, void*, int32_t, int32_t);
using TSetDefaultParams = void (*)(void*);
using TSendState = void (*)(int32_t, const char16_t*);

constexpr int Rounds = 5;
constexpr int Links = 100; // names per kind: each is a cold package once per round
const char* const Kinds[] = {"xpi-json.xpi", "xpi-rdf.xpi", "crx3.crx", "real-xpi.xpi", "real-crx.crx"};

double Cpu()
{
    return bench::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

long StatusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    return -1;
}

void Line(const std::string& what, const std::string& ours, const std::string& peer, double ratio)
{
    std::printf("%-52s ours %-12s peer %-12s ratio %.2f\n", what.c_str(), ours.c_str(), peer.c_str(), ratio);
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The plugin, loaded from a private copy in `folder`: a refresh request for
// a file there empties its cache, so every round reads cold.
struct TPlugin {
    platform::TLibrary Library;
    TGetValueW GetValue = nullptr;
    TSendState SendState = nullptr;
    std::vector<char16_t> Buffer = std::vector<char16_t>(1025);

    explicit TPlugin(const fs::path& file) : Library(base::Utf8ToUtf16(file.string()))
    {
        if (!Library.IsLoaded()) {
            std::fprintf(stderr, "cannot load the plugin: %s\n", Library.ErrorText().c_str());
            std::exit(1);
        }
        GetValue = reinterpret_cast<TGetValueW>(Library.Symbol("ContentGetValueW"));
        SendState = reinterpret_cast<TSendState>(Library.Symbol("ContentSendStateInformationW"));
        char params[4108] = {};
        reinterpret_cast<TSetDefaultParams>(Library.Symbol("ContentSetDefaultParams"))(params);
    }
    int32_t Value(const std::u16string& file, int field)
    {
        return GetValue(file.c_str(), field, 0, Buffer.data(), 2050, 0);
    }
    void Fields(const std::u16string& file)
    {
        for (int field = 0; field < 16; ++field)
            Value(file, field);
    }
    void Clear(const std::u16string& fileInFolder)
    {
        Value(fileInFolder, 3);
        SendState(2, nullptr); // contst_refreshpressed
    }
};

fs::path PluginFile()
{
    return fs::path(ADDOSCOPE_BIN_DIR) / (sizeof(void*) == 8 ? "Addoscope.wdx64" : "Addoscope.wdx");
}

// The marks strace finds around the one package a child reads.
void Mark(const char* which)
{
    floor_stat(which);
}

int Child(const std::string& who, const std::string& file, const fs::path& folder)
{
    const std::u16string name = base::Utf8ToUtf16(file);
    std::string peerName;
    floor_counts counts {};
    const long before = StatusKiB("VmRSS:");
    if (who == "ours") {
        TPlugin plugin(folder / PluginFile().filename());
        // A first request on another package loads what every later one shares.
        plugin.Value(base::Utf8ToUtf16((folder / "warm.xpi").string()), 3);
        Mark("/addoscope-mark-begin");
        plugin.Value(name, 3);
        Mark("/addoscope-mark-end");
    } else if (who == "floor") {
        floor_read((folder / "warm.xpi").c_str(), &counts);
        Mark("/addoscope-mark-begin");
        floor_read(file.c_str(), &counts);
        Mark("/addoscope-mark-end");
    } else {
        PeerRead((folder / "warm.xpi").c_str(), peerName);
        Mark("/addoscope-mark-begin");
        PeerRead(file.c_str(), peerName);
        Mark("/addoscope-mark-end");
    }
    std::printf("%ld %ld\n", StatusKiB("VmHWM:"), before);
    return 0;
}

struct TTrace {
    long Calls = -1;
    long FileCalls = 0; // those on the file: no memory mapping, no clock
    long Bytes = 0;
    double PeakMB = 0;
};

// Runs a child under strace and counts what it did between the marks.
TTrace Trace(const char* self, const std::string& who, const fs::path& file)
{
    TTrace trace;
    const fs::path log = fs::temp_directory_path() / "addoscope-coldread-strace.log";
    const fs::path out = fs::temp_directory_path() / "addoscope-coldread-child.txt";
    const std::string command = "strace -f -qq -o " + log.string() + " " + self + " --child " + who + " " +
                                file.string() + " > " + out.string() + " 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return trace;
    std::ifstream lines(log);
    std::string line;
    bool inside = false;
    trace.Calls = 0;
    while (std::getline(lines, line)) {
        if (line.find("/addoscope-mark-begin") != std::string::npos) {
            inside = true;
            continue;
        }
        if (line.find("/addoscope-mark-end") != std::string::npos)
            break;
        if (!inside || line.find("resumed>") != std::string::npos)
            continue;
        ++trace.Calls;
        const size_t call = line.find_first_not_of("0123456789 ");
        bool fileCall = true;
        for (const char* other : {"mmap(", "munmap(", "brk(", "mremap(", "madvise(", "clock_gettime("})
            if (line.compare(call, std::strlen(other), other) == 0)
                fileCall = false;
        trace.FileCalls += fileCall;
        if (line.compare(call, 5, "read(") == 0 || line.compare(call, 7, "pread64") == 0) {
            const size_t equals = line.rfind("= ");
            if (equals != std::string::npos)
                trace.Bytes += std::max(0L, std::strtol(line.c_str() + equals + 2, nullptr, 10));
        }
    }
    std::ifstream result(out);
    long peak = 0;
    long before = 0;
    result >> peak >> before;
    trace.PeakMB = peak / 1024.0;
    fs::remove(log);
    fs::remove(out);
    return trace;
}

// The bytes of a CRX header past its first 12 that hold the key material:
// the whole protobuf header of a CRX3, the key of a CRX2. 0 for a zip.
long CrxKeyMaterial(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    unsigned char start[12] = {};
    if (!in.read(reinterpret_cast<char*>(start), sizeof(start)) || std::memcmp(start, "Cr24", 4) != 0)
        return 0;
    const long length = long(start[8]) | long(start[9]) << 8 | long(start[10]) << 16 | long(start[11]) << 24;
    return start[4] >= 3 ? length : length + 4; // CRX2: the signature's length field, then the key
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path packages = fs::temp_directory_path() / "addoscope-coldread-packages";
    const fs::path folder = fs::temp_directory_path() / "addoscope-coldread-work";
    if (argc == 4 && std::string(argv[1]) == "--child")
        return Child(argv[2], argv[3], folder);

    const std::string make = "python3 " + std::string(ADDOSCOPE_BENCH_SOURCE_DIR) + "/make_packages.py " +
                             packages.string();
    if (std::system(make.c_str()) != 0)
        return 1;
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(PluginFile(), folder / PluginFile().filename());
    fs::copy_file(packages / "xpi-json.xpi", folder / "warm.xpi");
    // Hard links: a new name is a cold package for the plugin, while the
    // bytes stay the same in the page cache for every reader.
    std::vector<std::vector<std::u16string>> names;
    std::vector<std::vector<std::string>> paths;
    for (const char* kind : Kinds) {
        names.emplace_back();
        paths.emplace_back();
        for (int i = 0; i < Links; ++i) {
            const fs::path link = folder / (std::to_string(i) + "-" + kind);
            fs::create_hard_link(packages / kind, link);
            names.back().push_back(base::Utf8ToUtf16(link.string()));
            paths.back().push_back(link.string());
        }
    }

    TPlugin plugin(folder / PluginFile().filename());
    const std::u16string warm = base::Utf8ToUtf16((folder / "warm.xpi").string());
    std::printf("per package, processor time, page cache warm, medians of %d alternated rounds of %d\n", Rounds,
                Links);
    for (size_t kind = 0; kind < std::size(Kinds); ++kind) {
        const auto& kindNames = names[kind];
        const auto& kindPaths = paths[kind];
        std::vector<double> floorTimes, peerTimes, firstTimes, fieldsTimes;
        const auto timed = [&](std::vector<double>& into, const std::function<void(int)>& one) {
            const double start = Cpu();
            for (int i = 0; i < Links; ++i)
                one(i);
            into.push_back((Cpu() - start) / Links);
        };
        std::string peerName;
        floor_counts counts {};
        for (int round = 0; round < Rounds; ++round) {
            timed(floorTimes, [&](int i) { floor_read(kindPaths[size_t(i)].c_str(), &counts); });
            setenv("TZ", "UTC", 1);
            timed(peerTimes, [&](int i) { PeerRead(kindPaths[size_t(i)].c_str(), peerName); });
            unsetenv("TZ");
            plugin.Clear(warm);
            timed(firstTimes, [&](int i) { plugin.Value(kindNames[size_t(i)], 3); });
            plugin.Clear(warm);
            timed(fieldsTimes, [&](int i) { plugin.Fields(kindNames[size_t(i)]); });
        }
        const double floorTime = Median(floorTimes), peer = Median(peerTimes);
        const double first = Median(firstTimes), fields = Median(fieldsTimes);
        const std::string kindName = Kinds[kind];
        Line(kindName + ": first request vs floor (us)", Format("%.1f", first * 1e6), Format("%.1f", floorTime * 1e6),
             first / floorTime);
        Line(kindName + ": first request vs libzip+RapidJSON (us)", Format("%.1f", first * 1e6),
             Format("%.1f", peer * 1e6), first / peer);
        std::vector<double> hits, stats;
        for (int round = 0; round < Rounds; ++round) {
            const double start = Cpu();
            for (int n = 0; n < 50; ++n)
                for (int i = 0; i < Links; ++i)
                    plugin.Value(kindNames[size_t(i)], 3);
            hits.push_back((Cpu() - start) / (50.0 * Links));
            const double statStart = Cpu();
            for (int n = 0; n < 50; ++n)
                for (int i = 0; i < Links; ++i)
                    floor_stat(kindPaths[size_t(i)].c_str());
            stats.push_back((Cpu() - statStart) / (50.0 * Links));
        }
        const double hit = Median(hits), stat = Median(stats);
        Line(kindName + ": 16 fields vs first + 15 hits (us)", Format("%.1f", fields * 1e6),
             Format("%.1f", (first + 15 * hit) * 1e6), fields / (first + 15 * hit));
        Line(kindName + ": cache hit vs stat() (us)", Format("%.3f", hit * 1e6), Format("%.3f", stat * 1e6),
             hit / stat);
    }

    if (std::system("command -v strace >/dev/null 2>&1") != 0) {
        std::printf("system calls: strace not found, not counted\n");
        return 0;
    }
    for (size_t kind = 0; kind < std::size(Kinds); ++kind) {
        const fs::path file = paths[kind][0];
        const TTrace ours = Trace(argv[0], "ours", file);
        const TTrace floor = Trace(argv[0], "floor", file);
        const TTrace peer = Trace(argv[0], "peer", file);
        const std::string kindName = Kinds[kind];
        Line(kindName + ": system calls vs floor", std::to_string(ours.Calls), std::to_string(floor.Calls),
             double(ours.Calls) / double(floor.Calls));
        Line(kindName + ": of them on the file vs floor", std::to_string(ours.FileCalls),
             std::to_string(floor.FileCalls), double(ours.FileCalls) / double(floor.FileCalls));
        Line(kindName + ": system calls vs libzip+RapidJSON", std::to_string(ours.Calls), std::to_string(peer.Calls),
             double(ours.Calls) / double(peer.Calls));
        Line(kindName + ": bytes read vs floor", std::to_string(ours.Bytes), std::to_string(floor.Bytes),
             double(ours.Bytes) / double(floor.Bytes));
        Line(kindName + ": bytes read vs libzip+RapidJSON", std::to_string(ours.Bytes), std::to_string(peer.Bytes),
             double(ours.Bytes) / double(peer.Bytes));
        // The floor reads only the first 12 bytes of a CRX header; the
        // Extension ID needs its key material as well, which no reader
        // answering that field can skip.
        if (const long header = CrxKeyMaterial(file); header > 0)
            Line(kindName + ": bytes read vs floor + CRX key material", std::to_string(ours.Bytes),
                 std::to_string(floor.Bytes + header), double(ours.Bytes) / double(floor.Bytes + header));
        Line(kindName + ": peak RSS vs floor (MB)", Format("%.1f", ours.PeakMB), Format("%.1f", floor.PeakMB),
             ours.PeakMB / floor.PeakMB);
    }
    fs::remove_all(folder);
    return 0;
}
