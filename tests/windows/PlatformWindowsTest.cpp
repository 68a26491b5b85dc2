// The Windows platform layer, run under Wine by scripts/test-windows with
// LANG=C.UTF-8 and TZ=Europe/Berlin. Self-contained (no test framework
// is cross-built): each failed check prints its line, and the exit code is
// the number of failures.
#include "base/Text.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;
using namespace addoscope;

namespace {

int Failures = 0;
int Checks = 0;

void Check(bool ok, const char* what, int line)
{
    ++Checks;
    if (!ok) {
        ++Failures;
        std::printf("FAILED line %d: %s\n", line, what);
    }
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

bool Near(double a, double b)
{
    return a - b < 1e-7 && b - a < 1e-7;
}

void TestCaseAndComparison()
{
    CHECK(platform::LowerCase(u"ÄÖÜ ÉÈ ΑΒΓ АБВ Straße") == u"äöü éè αβγ абв straße");
    CHECK(platform::UpperCase(u"äöü αβγ абв") == u"ÄÖÜ ΑΒΓ АБВ");
    // Embedded zero characters and long texts are mapped whole.
    const std::u16string withZero(u"A\0B", 3);
    CHECK(platform::LowerCase(withZero) == std::u16string(u"a\0b", 3));
    CHECK(platform::LowerCase(std::u16string(100000, u'Q')) == std::u16string(100000, u'q'));
    CHECK(platform::CompareTextLocale(u"Ä", u"ä") == 0);
    CHECK(platform::CompareTextLocale(u"C:\\Program Files\\", u"c:\\PROGRAM FILES\\") == 0);
    CHECK(platform::CompareTextLocale(u"a", u"B") < 0);
    CHECK(platform::CompareTextLocale(u"b", u"A") > 0);
    CHECK(platform::CompareTextLocale(u"abc", u"abcd") < 0);
}

void TestLocale()
{
    // Wine's user locale follows the host's; only C.UTF-8 is sure to exist,
    // which Wine takes as English (United States).
    CHECK(platform::UserDefaultLanguageName() == u"en");
    CHECK(platform::DecimalSeparator() == u'.');
    platform::OverrideDecimalSeparator(u'#');
    CHECK(platform::DecimalSeparator() == u'#');
    platform::OverrideDecimalSeparator(0);
    CHECK(platform::DecimalSeparator() == u'.');
}

void TestCodePages()
{
    CHECK(platform::AnsiCodePage() == 1252);
    CHECK(platform::OemCodePage() == 437);
    CHECK(platform::AnsiToUnicode("\x80\xE9\x9F") == u"€éŸ");
    CHECK(platform::OemToUnicode("\x82\x8E\xE1") == u"éÄß");
    CHECK(platform::HostNameToUnicode("C:\\d\xE4t\xE4.xpi") == u"C:\\dätä.xpi");
    // No look-alike replacements: what the code page lacks becomes '?'.
    CHECK(platform::UnicodeToAnsi(u"a€é\u4E00\u0100") == "a\x80\xE9??");
    // Every byte survives the round trip the zip reader relies on.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    CHECK(platform::UnicodeToAnsi(platform::AnsiToUnicode(all)) == all);
    CHECK(platform::AnsiToUnicode("").empty());
}

// FILETIME of a UTC civil time, from the days between 1601 and 1970.
platform::TFileTime FileTimeOf(int64_t unixSeconds)
{
    return (unixSeconds + 11644473600LL) * 10000000LL;
}

void TestTimes()
{
    // Berlin: UTC+1 in winter, UTC+2 in summer, each by the rule of its date.
    const double winter = platform::FileTimeToLocalDateTime(FileTimeOf(1577880000)); // 2020-01-01 12:00 UTC
    const double summer = platform::FileTimeToLocalDateTime(FileTimeOf(1593604800)); // 2020-07-01 12:00 UTC
    CHECK(Near(winter, 43831.0 + 13.0 / 24));
    CHECK(Near(summer, 44013.0 + 14.0 / 24));
    // Fractions of a second are kept.
    CHECK(Near(platform::FileTimeToLocalDateTime(FileTimeOf(1577880000) + 5000000), 43831.0 + 13.0 / 24 +
                                                                                          0.5 / 86400));
    CHECK(platform::FileTimeToLocalDateTime(-1) == 0);
}

// The folder holds what scripts/test-windows put there: "dätä-名前.bin",
// 100000 bytes counting up modulo 256, and "x.xpi" ("PK") six folders deep,
// more than MAX_PATH characters down.
void TestFiles(const fs::path& dir)
{
    const fs::path file = dir / u8"dätä-名前.bin";
    const std::u16string name = file.u16string();
    const std::u16string folder = dir.u16string();
    const std::u16string missing = (dir / "missing.xpi").u16string();

    CHECK(platform::FileExists(name));
    CHECK(platform::FileExists(folder));
    CHECK(!platform::FileExists(missing));
    CHECK(!platform::FileExists(u""));
    CHECK(!platform::FileExists(folder + u"\\*"));

    platform::TFindData found;
    CHECK(platform::FindFile(name, found));
    CHECK(found.Size == 100000);
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    const int64_t age = (FileTimeOf(now) - found.LastWriteTime) / 10000000LL;
    CHECK(age >= -5 && age < 600);
    CHECK(!platform::FindFile(folder, found));
    CHECK(!platform::FindFile(missing, found));

    platform::TFile reader(name);
    CHECK(reader.IsOpen());
    CHECK(reader.Size() == 100000);
    CHECK(reader.SeekTo(99990));
    unsigned char buffer[32] = {};
    CHECK(reader.Read(buffer, 32) == 10);
    CHECK(buffer[0] == static_cast<unsigned char>(99990 & 0xFF));
    CHECK(reader.Read(buffer, 32) == 0);
    CHECK(!reader.SeekTo(-1));

    platform::TFile folderReader(folder);
    CHECK(!folderReader.IsOpen());
    platform::TFile missingReader(missing);
    CHECK(!missingReader.IsOpen() && !missingReader.ErrorText().empty());

    // Past MAX_PATH only the long-name form reaches the file.
    fs::path deep = dir;
    for (int i = 0; i < 6; ++i)
        deep /= "a-folder-name-long-enough-to-pass-max-path-" + std::to_string(i);
    const std::u16string deepFile = u"\\\\?\\" + (deep / "x.xpi").u16string();
    CHECK(deepFile.size() > 300);
    CHECK(platform::FileExists(deepFile));
    CHECK(platform::FindFile(deepFile, found) && found.Size == 2);
    platform::TFile deepReader(deepFile);
    CHECK(deepReader.IsOpen() && deepReader.Size() == 2);
}

void TestModuleAndThreads()
{
    const std::u16string self = platform::ModuleFileName();
    CHECK(self.size() > 3 && self[1] == u':');
    CHECK(self.ends_with(u".exe") && self.find(u"\\PlatformWindowsTest") != std::u16string::npos);

    platform::TLibrary kernel(u"kernel32.dll");
    CHECK(kernel.IsLoaded() && kernel.Symbol("GetTickCount") != nullptr);
    CHECK(kernel.Symbol("NoSuchFunction") == nullptr);
    platform::TLibrary none(u"no-such-library-here.dll");
    CHECK(!none.IsLoaded() && !none.ErrorText().empty());

    // The stack asked for is there: 700 KiB of it are used in a 1 MiB thread.
    int sum = 0;
    const bool ran = platform::RunWithStackSize(1 << 20, [&] {
        volatile char block[700 * 1024];
        for (size_t i = 0; i < sizeof(block); i += 4096)
            block[i] = 1;
        sum = block[4096];
    });
    CHECK(ran && sum == 1);
    bool caught = false;
    try {
        platform::RunWithStackSize(1 << 20, [] { throw std::runtime_error("inside"); });
    } catch (const std::runtime_error& error) {
        caught = std::string(error.what()) == "inside";
    }
    CHECK(caught);

    platform::TCriticalSection lock;
    lock.Enter();
    lock.Leave();
}

// The hash seeds and the reading budget rest on these two.
void TestRandomAndThreadClock()
{
    unsigned char a[37] = {}, b[37] = {};
    CHECK(platform::RandomBytes(a, sizeof a));
    CHECK(platform::RandomBytes(b, sizeof b));
    CHECK(std::string(reinterpret_cast<char*>(a), sizeof a) != std::string(reinterpret_cast<char*>(b), sizeof b));
    const int64_t start = platform::ThreadCpuNanoseconds();
    CHECK(start >= 0);
    volatile uint64_t spin = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < until)
        spin = spin + 1;
    const int64_t spent = platform::ThreadCpuNanoseconds() - start;
    CHECK(spent > 50 * int64_t(1000000) && spent < 2000 * int64_t(1000000));
}

// The digest of "abc" as sha256sum gives it, through CNG.
void TestSha256()
{
    platform::TSha256Digest digest{};
    CHECK(platform::Sha256("abc", 3, digest));
    const uint8_t expected[8] = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea};
    CHECK(std::memcmp(digest.data(), expected, sizeof expected) == 0);
    CHECK(digest[31] == 0xad);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: PlatformWindowsTest FOLDER\n");
        return 100;
    }
    const fs::path dir = fs::path(argv[1]);
    TestCaseAndComparison();
    TestLocale();
    TestCodePages();
    TestTimes();
    TestFiles(dir);
    TestModuleAndThreads();
    TestRandomAndThreadClock();
    TestSha256();
    std::printf("%d checks, %d failed\n", Checks, Failures);
    return Failures;
}
