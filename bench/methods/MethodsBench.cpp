// Decoding throughput of the bzip2, LZMA and PPMd zip methods: our
// extraction (TZipArchive::ExtractToStream into memory) against 7-Zip
// decoding the same archive to /dev/null. 7-Zip also makes the archives.
// One line per method: what, our MB/s, 7-Zip's MB/s (best of seven rounds,
// CPU time), and the median over the rounds of the speed ratio ours/7-Zip.
#include "base/Crc32.h"
#include "base/MemoryStream.h"
#include "bench/methods/Corpus.h"
#include "zip/ZipArchive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace addoscope;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t CorpusSize = 20u * 1000u * 1000u;
constexpr int Rounds = 7;

struct TMethod {
    const char* Name;
    const char* Switches; // 7-Zip's options for the zip method
};

const TMethod Methods[] = {
    {"bzip2", "-mm=BZip2"},
    {"LZMA", "-mm=LZMA"},
    {"PPMd order 6", "-mm=PPMd -mo=6"},
    {"PPMd order 8", "-mm=PPMd -mo=8"},
};

int Run(const std::string& command)
{
    return std::system(command.c_str());
}

std::string Quote(const fs::path& path)
{
    std::string quoted = "'";
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

// The machine is shared, so times are CPU seconds (user + system) of the
// decoding process, not wall-clock time.
double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Reads the children's CPU time from the output of the shell's `times`
// (second line: "XmY.YYYs XmZ.ZZZs").
double ChildCpuSeconds(const fs::path& timesFile)
{
    std::ifstream file(timesFile);
    std::string line;
    std::getline(file, line);
    double total = 0;
    for (int i = 0; i < 2; ++i) {
        double minutes = 0;
        double seconds = 0;
        if (!(file >> minutes))
            return -1;
        file.ignore(1); // 'm'
        if (!(file >> seconds))
            return -1;
        file.ignore(1); // 's'
        total += minutes * 60 + seconds;
    }
    return total;
}

// One timed extraction; false when the output is not the corpus.
bool TimeOurs(const std::vector<uint8_t>& zip, const std::string& corpus, double& elapsed)
{
    base::TMemoryStream archiveStream;
    archiveStream.LoadFromBuffer(zip.data(), zip.size());
    base::TMemoryStream out;
    out.SetSize(static_cast<int64_t>(corpus.size())); // no growth inside the timing
    out.Seek(0, base::TSeekOrigin::soBeginning);
    const double start = CpuSeconds();
    auto archive = zip::TZipArchive::CreateFromStream(archiveStream, u"bench.zip");
    archive->SetupExtraction();
    archive->Load();
    archive->ExtractToStream(u"corpus.txt", out);
    elapsed = CpuSeconds() - start;
    return out.Position() == static_cast<int64_t>(corpus.size()) &&
           std::memcmp(out.Memory(), corpus.data(), corpus.size()) == 0;
}

// One timed run of 7-Zip decoding the archive to /dev/null, one thread.
bool TimePeer(const fs::path& zipPath, double& elapsed)
{
    const fs::path timesFile = zipPath.string() + ".times";
    std::string command = SEVENZIP_PROGRAM;
    command += " x -so -mmt=1 ";
    command += Quote(zipPath);
    command += " > /dev/null 2>&1 && times > ";
    command += Quote(timesFile);
    if (Run(command) != 0)
        return false;
    elapsed = ChildCpuSeconds(timesFile);
    return elapsed > 0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

// Arguments, if any, name the methods to measure (prefixes: "bzip2", "PPMd").
int main(int argc, char** argv)
{
    std::string dirName = "addoscope-bench-methods-";
    dirName += std::to_string(Clock::now().time_since_epoch().count());
    const fs::path dir = fs::temp_directory_path() / dirName;
    fs::create_directories(dir);
    const std::string corpus = MakeCorpus(CorpusSize);
    {
        std::ofstream file(dir / "corpus.txt", std::ios::binary);
        file.write(corpus.data(), static_cast<std::streamsize>(corpus.size()));
    }
    const double megabytes = static_cast<double>(corpus.size()) / 1e6;
    std::printf("corpus: %.1f MB of multilingual text, CRC-32 %08x; peer: %s (one thread)\n", megabytes,
                base::Crc32(corpus.data(), corpus.size()), SEVENZIP_PROGRAM);
    std::printf("%-22s %14s %14s %8s\n", "what", "ours MB/s", "7-Zip MB/s", "ratio");

    int failures = 0;
    for (const TMethod& method : Methods) {
        bool chosen = argc < 2;
        for (int i = 1; i < argc; ++i)
            chosen = chosen || std::strncmp(method.Name, argv[i], std::strlen(argv[i])) == 0;
        if (!chosen)
            continue;
        std::string zipName = "method";
        zipName += std::to_string(&method - Methods);
        zipName += ".zip";
        const fs::path zipPath = dir / zipName;
        std::string make = "cd ";
        make += Quote(dir);
        make += " && ";
        make += SEVENZIP_PROGRAM;
        make += " a -tzip ";
        make += method.Switches;
        make += ' ';
        make += Quote(zipPath);
        make += " corpus.txt > /dev/null 2>&1";
        if (Run(make) != 0) {
            std::printf("%-22s 7-Zip could not make the archive\n", method.Name);
            ++failures;
            continue;
        }
        std::ifstream file(zipPath, std::ios::binary);
        const std::vector<uint8_t> zip((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

        // Rounds alternate between the two decoders so that both meet the
        // same load on a shared machine; the ratio is the median of the
        // rounds' ratios, the throughputs are the best rounds.
        char what[64];
        std::snprintf(what, sizeof what, "%s (%.1f MB zip)", method.Name, static_cast<double>(zip.size()) / 1e6);
        std::vector<double> ours, peer, ratios;
        bool oursOk = true;
        bool peerOk = true;
        for (int round = 0; round < Rounds && peerOk; ++round) {
            double peerTime = 0;
            double ourTime = 0;
            peerOk = TimePeer(zipPath, peerTime);
            if (oursOk)
                oursOk = TimeOurs(zip, corpus, ourTime);
            if (peerOk)
                peer.push_back(peerTime);
            if (oursOk)
                ours.push_back(ourTime);
            if (peerOk && oursOk)
                ratios.push_back(peerTime / ourTime);
        }
        if (!peerOk) {
            std::printf("%-22s 7-Zip failed to decode the archive\n", what);
            ++failures;
            continue;
        }
        const double peerBest = *std::min_element(peer.begin(), peer.end());
        if (!oursOk) {
            std::printf("%-22s %14s %14.1f %8s\n", what, "not available", megabytes / peerBest, "-");
            continue;
        }
        const double ourBest = *std::min_element(ours.begin(), ours.end());
        std::printf("%-22s %14.1f %14.1f %8.2f\n", what, megabytes / ourBest, megabytes / peerBest, Median(ratios));
    }
    fs::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
