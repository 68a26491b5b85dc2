// Parses one generated text of manifest- and messages-like objects with our
// reader and with RapidJSON's DOM parser, and prints the throughput of each:
// what, ours, the peer's, the ratio (ours / peer's time). Building and
// freeing the tree are both counted, for both.
#include "bench/CpuTime.h"
#include "json/JsonParser.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <ctime>
#include <malloc.h>
#include <sys/resource.h>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace addoscope;

const char* const Words[] = {
    "Tab", "Manager", "privacy", "Datenschutz", "Erweiterung", "onglets", "gestionnaire", "\xC3\xA9tendue",
    "\xD1\x80\xD0\xB0\xD1\x81\xD1\x88\xD0\xB8\xD1\x80\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5",             // Russian
    "\xE6\x89\xA9\xE5\xB1\x95\xE7\xA8\x8B\xE5\xBA\x8F",                                             // Chinese
    "\xE6\x8B\xA1\xE5\xBC\xB5\xE6\xA9\x9F\xE8\x83\xBD",                                             // Japanese
    "\xCE\xB5\xCF\x80\xCE\xAD\xCE\xBA\xCF\x84\xCE\xB1\xCF\x83\xCE\xB7",                             // Greek
    "\xF0\x9F\xA6\x8A", "block", "ads", "reader", "mode", "\\\"quoted\\\"", "line\\nbreak", "caf\\u00e9"};

std::string Sentence(std::mt19937& random, int words)
{
    std::string text;
    for (int i = 0; i < words; ++i) {
        if (i)
            text += ' ';
        text += Words[random() % std::size(Words)];
    }
    return text;
}

std::string Manifest(std::mt19937& random, int n)
{
    std::string t = "{\"manifest_version\":2,\"name\":\"__MSG_extName__\",\"version\":\"" + std::to_string(n % 9) + "." +
                    std::to_string(n % 31) + "\",\"description\":\"" + Sentence(random, 12) +
                    "\",\"author\":\"" + Sentence(random, 2) + "\",\"homepage_url\":\"https://example.org/addon/" +
                    std::to_string(n) + "\",\"browser_specific_settings\":{\"gecko\":{\"id\":\"addon" +
                    std::to_string(n) + "@example.org\",\"strict_min_version\":\"" + std::to_string(57 + n % 60) +
                    ".0\"}},\"permissions\":[\"tabs\",\"storage\",\"<all_urls>\"],\"icons\":{\"48\":\"icon48.png\",\"96\":"
                    "\"icon96.png\"},\"content_scripts\":[{\"matches\":[\"*://*/*\"],\"js\":[\"content.js\"],\"run_at\":"
                    "\"document_idle\",\"all_frames\":false}],\"weight\":" +
                    std::to_string((random() % 100000) / 100.0) + ",\"rank\":" + std::to_string(random() % 1000000) +
                    ",\"ratio\":-1.5e-3,\"flags\":[true,false,null]}";
    return t;
}

std::string Messages(std::mt19937& random, int n)
{
    std::string t = "{";
    for (int i = 0; i < 8; ++i) {
        if (i)
            t += ",";
        t += "\"message" + std::to_string(n % 50) + "_" + std::to_string(i) + "\":{\"message\":\"" +
             Sentence(random, 6) + " $COUNT$\",\"description\":\"" + Sentence(random, 8) +
             "\",\"placeholders\":{\"count\":{\"content\":\"$1\",\"example\":\"" + std::to_string(random() % 100) +
             "\"}}}";
    }
    return t + "}";
}

std::string Document(size_t minimumSize)
{
    std::mt19937 random(20250101);
    std::string text = "{\"generated\":true,\"items\":[\n";
    for (int n = 0; text.size() < minimumSize; ++n) {
        if (n)
            text += ",\n";
        text += n % 2 ? Messages(random, n) : Manifest(random, n);
    }
    return text + "\n]}";
}

double ThreadSeconds()
{
    return addoscope::bench::CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

long ThreadPageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

struct TFigures {
    double FSeconds = 1e9; // best run
    long FFaults = 0;      // page faults of that run
};

TFigures Best(int runs, const std::function<void()>& work)
{
    TFigures best;
    for (int i = 0; i < runs; ++i) {
        const long faults = ThreadPageFaults();
        const double start = ThreadSeconds();
        work();
        const double seconds = ThreadSeconds() - start;
        if (seconds < best.FSeconds)
            best = TFigures{seconds, ThreadPageFaults() - faults};
    }
    return best;
}

void Measure(const char* what, const std::string& text, int repeat, int runs)
{
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    bool ok = true;
    const TFigures ours = Best(runs, [&] {
        for (int i = 0; i < repeat; ++i)
            ok &= json::ParseJSONValue(bytes) != nullptr;
    });
    const TFigures peer = Best(runs, [&] {
        for (int i = 0; i < repeat; ++i) {
            rapidjson::Document document;
            document.Parse(text.data(), text.size());
            ok &= !document.HasParseError();
        }
    });
    if (!ok) {
        std::printf("%s: a parse failed\n", what);
        return;
    }
    const double megabytes = static_cast<double>(text.size()) * repeat / 1e6;
    std::printf("%s: ours %.0f MB/s, RapidJSON %.0f MB/s, ratio %.2f\n", what, megabytes / ours.FSeconds,
                megabytes / peer.FSeconds, peer.FSeconds / ours.FSeconds);
    if (ours.FFaults > 0 || peer.FFaults > 0)
        std::printf("%s, page faults per parse: ours %ld, RapidJSON %ld, ratio %.2f\n", what, ours.FFaults / repeat,
                    peer.FFaults / repeat, static_cast<double>(ours.FFaults) / std::max(1L, peer.FFaults));
}

} // namespace

// Optional argument: a JSON file to measure instead of the generated text.
int main(int argc, char** argv)
{
    std::string large;
    if (argc > 1) {
        std::ifstream file(argv[1], std::ios::binary);
        large.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else {
        large = Document(20u << 20);
    }
    char label[128];
    // Whether a tree's memory comes fresh from the system or is reused from
    // the previous parse decides much of the time on a large text, and the
    // allocator's own heuristics would pick differently for the two parsers
    // (by their footprint). Both are measured under the same fixed policy.
    mallopt(M_MMAP_THRESHOLD, 64 << 10); // every block fresh from the system
    mallopt(M_TRIM_THRESHOLD, 0);
    std::snprintf(label, sizeof label, "parse+free %.1f MB document, fresh memory", large.size() / 1e6);
    Measure(label, large, 1, 5);
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // blocks reused from the last parse
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    std::snprintf(label, sizeof label, "parse+free %.1f MB document, memory reused", large.size() / 1e6);
    Measure(label, large, 1, 7);

    // The plugin's daily work: one small manifest at a time.
    std::mt19937 random(7);
    const std::string manifest = Manifest(random, 1);
    std::snprintf(label, sizeof label, "parse+free %zu-byte manifest x20000", manifest.size());
    Measure(label, manifest, 20000, 5);
    return 0;
}
