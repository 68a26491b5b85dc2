// Loading the central directory of a 300-entry package, as the plugin does
// for every file it is asked about: open, read the directory, find the
// manifest. Our figure and the peer's (Python's zipfile reading the same
// file) are CPU microseconds per load.
#include "base/Crc32.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "zip/ZipArchive.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

using namespace addoscope;
namespace fs = std::filesystem;

namespace {

void Put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Stored entries with names shaped like an add-on's; the data is small, so
// the directory is most of what a load reads.
std::string MakeZip(int entries)
{
    std::string out, central;
    for (int i = 0; i < entries; ++i) {
        std::string name = i == 0       ? "manifest.json"
                           : i < 6      ? "_locales/" + std::string(i % 2 ? "de" : "pt_BR") + std::to_string(i) + "/messages.json"
                           : i % 3 == 0 ? "icons/icon" + std::to_string(i) + ".png"
                                        : "content/script" + std::to_string(i) + ".js";
        const std::string data = "{\"entry\": " + std::to_string(i) + "}";
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint32_t crc = base::Crc32(data.data(), data.size());
        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, 0x58210000);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(data.size()));
        Put32(out, static_cast<uint32_t>(data.size()));
        Put16(out, static_cast<uint32_t>(name.size()));
        Put16(out, 0);
        out += name + data;
        Put32(central, 0x02014B50);
        Put16(central, 0x031E);
        Put16(central, 20);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0x58210000);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(data.size()));
        Put32(central, static_cast<uint32_t>(data.size()));
        Put16(central, static_cast<uint32_t>(name.size()));
        for (int k = 0; k < 4; ++k)
            Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += name;
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054B50);
    Put32(out, 0);
    Put16(out, static_cast<uint32_t>(entries));
    Put16(out, static_cast<uint32_t>(entries));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void Line(const char* what, double ours, double peer)
{
    if (peer > 0)
        std::printf("%-40s %10.2f %10.2f %8.2f\n", what, ours, peer, peer / ours);
    else
        std::printf("%-40s %10.2f %10s %8s\n", what, ours, "n/a", "n/a");
}

} // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? std::atoi(argv[1]) : 300;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3000;
    const std::string zip = MakeZip(entries);
    const fs::path path = fs::temp_directory_path() / ("addoscope-zipload-" + std::to_string(entries) + ".zip");
    std::ofstream(path, std::ios::binary).write(zip.data(), static_cast<std::streamsize>(zip.size()));
    const std::u16string path16 = base::Utf8ToUtf16(path.string());

    size_t found = 0;
    double start = CpuSeconds();
    for (int round = 0; round < rounds; ++round) {
        base::TFileStream stream(path16);
        auto archive = zip::TZipArchive::CreateFromStream(stream, path16);
        archive->Load();
        found += archive->FindFile(u"manifest.json") == 0 && archive->Count() == entries;
    }
    const double fromFile = (CpuSeconds() - start) / rounds * 1e6;

    base::TMemoryStream memory;
    memory.LoadFromBuffer(zip.data(), zip.size());
    start = CpuSeconds();
    for (int round = 0; round < rounds; ++round) {
        auto archive = zip::TZipArchive::CreateFromStream(memory, u"memory");
        archive->Load();
        found += archive->FindFile(u"manifest.json") == 0 && archive->Count() == entries;
    }
    const double fromMemory = (CpuSeconds() - start) / rounds * 1e6;
    if (found != 2 * static_cast<size_t>(rounds)) {
        std::fprintf(stderr, "wrong directory read\n");
        return 1;
    }

    // The peer reports its own CPU time, so starting Python is not counted.
    double peer = -1;
    const std::string script = "python3 -c \"import sys,time,zipfile\np=sys.argv[1];n=int(sys.argv[2])\n"
                               "t=time.process_time()\nfor _ in range(n):\n"
                               " z=zipfile.ZipFile(p);z.getinfo('manifest.json');z.close()\n"
                               "print((time.process_time()-t)/n*1e6)\" " +
                               path.string() + " " + std::to_string(rounds / 3 + 1);
    if (FILE* pipe = popen(script.c_str(), "r")) {
        if (std::fscanf(pipe, "%lf", &peer) != 1)
            peer = -1;
        pclose(pipe);
    }
    std::printf("%-40s %10s %10s %8s\n", "what (CPU us per load)", "ours", "zipfile", "ratio");
    char what[64];
    std::snprintf(what, sizeof what, "%d entries from a file", entries);
    Line(what, fromFile, peer);
    std::snprintf(what, sizeof what, "%d entries from memory", entries);
    Line(what, fromMemory, peer);
    fs::remove(path);
    return 0;
}
