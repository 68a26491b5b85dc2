// The addoscope command run as a person or a script runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
    std::string Out;
    int Status = -1;
};

// Runs the command with stderr folded into the output when asked.
TRun RunCommand(const std::string& arguments, bool withStderr = false)
{
    const std::string command =
        std::string(ADDOSCOPE_BIN_DIR) + "/addoscope " + arguments + (withStderr ? " 2>&1" : " 2>/dev/null");
    TRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        run.Out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

size_t CountLines(const std::string& text)
{
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

const std::string Examples = ADDOSCOPE_EXAMPLES_DIR;

} // namespace

TEST(AddoscopeCommand, ListsTheFieldsWithTheirTypes)
{
    const TRun run = RunCommand("--fields");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(CountLines(run.Out), 23u);
    EXPECT_EQ(run.Out.rfind("0\tType\t11", 0), 0u);
    EXPECT_NE(run.Out.find("15\tCompatibility\t11"), std::string::npos);
    EXPECT_NE(run.Out.find("16\tExtension ID\t11"), std::string::npos);
    EXPECT_NE(run.Out.find("22\tTarget Versions\t11"), std::string::npos);
}

TEST(AddoscopeCommand, JsonGivesOneObjectPerPackageInTheFolder)
{
    const TRun run = RunCommand("--json " + Examples);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(CountLines(run.Out), 9u);
    EXPECT_NE(run.Out.find("{\"path\":\"" + Examples + "/tab-tidy.xpi\""), std::string::npos);
    EXPECT_NE(run.Out.find("\"Extension ID\":\"tab-tidy@example.org\",\"Manifest Version\":\"2\""),
              std::string::npos);
    // A file that is not an add-on carries the reason instead of fields.
    const size_t holiday = run.Out.find("holiday-photos.xpi");
    ASSERT_NE(holiday, std::string::npos);
    EXPECT_NE(run.Out.find("\"error\":", holiday), std::string::npos);
}

TEST(AddoscopeCommand, ColumnsPrintAHeaderAndARowPerFile)
{
    const TRun run = RunCommand("--columns Name,Version " + Examples);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(CountLines(run.Out), 10u);
    EXPECT_EQ(run.Out.rfind("File", 0), 0u);
    EXPECT_NE(run.Out.find("Name"), std::string::npos);
    EXPECT_EQ(RunCommand("--columns Nonsense " + Examples).Status, 2);
    const TRun locales = RunCommand("--columns 'Extension ID',Locales " + Examples + "/focus-timer.xpi");
    EXPECT_NE(locales.Out.find("focus-timer@example.org  en, nl"), std::string::npos) << locales.Out;
}

TEST(AddoscopeCommand, MissingPathsAndBadPluginsFailClearly)
{
    const TRun missing = RunCommand("/no/such/thing.xpi " + Examples + "/tab-tidy.xpi", true);
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Out.find("/no/such/thing.xpi: no such file or folder"), std::string::npos);
    EXPECT_NE(missing.Out.find("tab-tidy.xpi"), std::string::npos) << "the other file is still shown";

    const TRun badPlugin = RunCommand("--plugin /no/such/plugin.wdx64 " + Examples, true);
    EXPECT_EQ(badPlugin.Status, 2);
    EXPECT_NE(badPlugin.Out.find("cannot load the plugin"), std::string::npos);

    EXPECT_EQ(RunCommand("--bogus").Status, 2);
}
