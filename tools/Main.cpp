// addoscope: shows what the Addoscope content plugin reports for add-on
// packages, by loading the plugin library exactly as a file manager does.
#include "base/Text.h"
#include "platform/Platform.h"
#include "tools/HostPlugin.h"
#include "tools/Report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using namespace addoscope;
using namespace addoscope::tools;

namespace {

// The help text is also the source of the manual page (help2man), which
// turns each "Heading:" paragraph into a section of its own.
constexpr const char* Usage =
    "Usage: addoscope [OPTION]... PATH...\n"
    "Shows the fields the Addoscope content plugin reports for browser add-on\n"
    "packages (.xpi, .crx, .crx3), loading the plugin library through its\n"
    "exported functions as a file manager does. A folder shows the files in it\n"
    "whose extension the plugin accepts.\n"
    "\n"
    "Options:\n"
    "  -r, --recursive     also look into subfolders\n"
    "  --fields            list the plugin's fields and their types\n"
    "  --columns A,B,...   one aligned row per file with these fields\n"
    "  --json              one JSON object per line and file\n"
    "  --plugin FILE       load this plugin library instead of the one beside\n"
    "                      the command or, when none is there, the installed one\n"
    "  -h, --help          show this help\n"
    "  --version           show the version\n"
    "\n"
    "Output formats:\n"
    "  text          the default: a block per file, the path as given, then a\n"
    "                \"Field: value\" line for each field that has a value\n"
    "  --columns     a header line, then one aligned row per file\n"
    "  --json        one object per line and file: \"path\" and every field\n"
    "                that has a value, keyed by the field name, or \"error\"\n"
    "                with the reason when the file gave no value\n"
    "Field names are the plugin's own (English) ones, as --fields lists them.\n"
    "\n"
    "Exit status:\n"
    "  0             every path was found\n"
    "  1             a path was missing (the other files are still shown)\n"
    "  2             a bad option, an unknown field, or a plugin that cannot\n"
    "                be loaded\n"
    "\n"
    "Examples:\n"
    "  addoscope tab-tidy.xpi\n"
    "                every field of one package\n"
    "  addoscope -r --columns Name,Version,Compatibility ~/Downloads\n"
    "                a table of the packages in a folder and its subfolders\n"
    "  addoscope --json ~/Downloads > addons.jsonl\n"
    "                the same as JSON lines, for a script\n"
    "  addoscope --plugin ./Addoscope.wdx64 --fields\n"
    "                the fields of another build of the plugin\n";

constexpr const char* VersionText =
    "addoscope " ADDOSCOPE_VERSION "\n"
    "Copyright (c) 2026 the Addoscope developers. MIT License.\n";

struct TOptions {
    bool Recursive = false;
    bool ListFields = false;
    bool Json = false;
    std::vector<std::string> Columns;
    std::string Plugin;
    std::vector<std::string> Paths;
};

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start)
            items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

// Answers false (after saying why) when the command line is not usable.
bool ParseOptions(int argc, char** argv, TOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << Usage;
            std::exit(0);
        } else if (arg == "--version") {
            std::cout << VersionText;
            std::exit(0);
        } else if (arg == "-r" || arg == "--recursive") {
            options.Recursive = true;
        } else if (arg == "--fields") {
            options.ListFields = true;
        } else if (arg == "--json") {
            options.Json = true;
        } else if ((arg == "--columns" || arg == "--plugin") && i + 1 < argc) {
            if (arg == "--columns")
                options.Columns = SplitList(argv[++i]);
            else
                options.Plugin = argv[++i];
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                options.Paths.emplace_back(argv[i]);
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            std::cerr << "addoscope: unknown or incomplete option " << arg << "\n" << Usage;
            return false;
        } else {
            options.Paths.push_back(arg);
        }
    }
    if (options.Json && !options.Columns.empty()) {
        std::cerr << "addoscope: --json and --columns exclude each other\n";
        return false;
    }
    if (options.Paths.empty() && !options.ListFields) {
        std::cerr << Usage;
        return false;
    }
    return true;
}

// Paths travel as UTF-8 inside the command. std::filesystem takes and
// gives narrow strings in the ANSI code page on Windows, so every crossing
// goes through the UTF-8 (char8_t) forms, which mean UTF-8 everywhere.
fs::path PathFromUtf8(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const fs::path& path)
{
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

// Beside the command in the build tree; where the command is installed,
// the plugin's own folder, at a place relative to the command's folder
// fixed when the build was configured.
std::u16string DefaultPluginPath()
{
    const fs::path self(platform::ModuleFileName());
    const char* name = sizeof(void*) == 8 ? "Addoscope.wdx64" : "Addoscope.wdx";
    const fs::path beside = self.parent_path() / name;
    std::error_code error;
    if (fs::exists(beside, error))
        return beside.u16string();
    return (self.parent_path() / PathFromUtf8(ADDOSCOPE_PLUGIN_FROM_BIN) / name).lexically_normal().u16string();
}

bool HasExtension(const fs::path& file, const std::vector<std::string>& extensions)
{
    std::string ext = Utf8FromPath(file.extension());
    if (ext.size() < 2)
        return false;
    ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

// The files to show, in a stable order. Missing paths are reported and
// counted; the rest go on.
std::vector<std::string> CollectFiles(const TOptions& options, const std::vector<std::string>& extensions,
                                      int& missing)
{
    std::vector<std::string> files;
    for (const std::string& path : options.Paths) {
        std::error_code error;
        const fs::file_status status = fs::status(PathFromUtf8(path), error);
        if (error || !fs::exists(status)) {
            std::cerr << "addoscope: " << path << ": no such file or folder\n";
            ++missing;
            continue;
        }
        if (!fs::is_directory(status)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        const auto visit = [&](const fs::directory_entry& entry) {
            std::error_code entryError;
            if (!entry.is_directory(entryError) && HasExtension(entry.path(), extensions))
                found.push_back(Utf8FromPath(entry.path()));
        };
        const auto walkOptions = fs::directory_options::skip_permission_denied;
        if (options.Recursive) {
            for (auto it = fs::recursive_directory_iterator(PathFromUtf8(path), walkOptions, error);
                 !error && it != fs::recursive_directory_iterator(); it.increment(error))
                visit(*it);
        } else {
            for (auto it = fs::directory_iterator(PathFromUtf8(path), walkOptions, error);
                 !error && it != fs::directory_iterator(); it.increment(error))
                visit(*it);
        }
        if (error)
            std::cerr << "addoscope: " << path << ": " << error.message() << "\n";
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

TFileReport Inspect(THostPlugin& plugin, const std::string& path)
{
    TFileReport report;
    report.Path = path;
    std::error_code error;
    const fs::path absolute = fs::absolute(PathFromUtf8(path), error);
    const std::u16string name = error ? base::Utf8ToUtf16(path) : absolute.u16string();
    const auto& fields = plugin.Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::u16string value = plugin.Value(name, static_cast<int32_t>(i));
        if (!value.empty())
            report.Values.emplace_back(fields[i].Name, base::Utf16ToUtf8(value));
    }
    if (report.Values.empty())
        report.Error = "no add-on description found: not an add-on package, or it cannot be read";
    return report;
}

void ListFields(const THostPlugin& plugin)
{
    const auto& fields = plugin.Fields();
    for (size_t i = 0; i < fields.size(); ++i)
        std::cout << i << '\t' << fields[i].Name << '\t' << fields[i].Type
                  << (fields[i].Type == 11 ? " (ft_stringw)" : "") << '\n';
}

} // namespace

#if defined(_WIN32)
// Windows hands a narrow main() its arguments in the ANSI code page, which
// loses every character outside it; the wide ones are taken as UTF-8.
int Run(int argc, char** argv);

extern "C" int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> utf8;
    std::vector<char*> pointers;
    for (int i = 0; i < argc; ++i)
        utf8.push_back(base::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    for (std::string& arg : utf8)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return Run(argc, pointers.data());
}

int Run(int argc, char** argv)
#else
int main(int argc, char** argv)
#endif
{
    TOptions options;
    if (!ParseOptions(argc, argv, options))
        return 2;

    const std::u16string pluginPath = options.Plugin.empty() ? DefaultPluginPath() : base::Utf8ToUtf16(options.Plugin);
    THostPlugin plugin(pluginPath);
    if (!plugin.IsLoaded()) {
        std::cerr << "addoscope: cannot load the plugin " << base::Utf16ToUtf8(pluginPath) << ": "
                  << plugin.ErrorText() << "\n";
        return 2;
    }
    plugin.Start();

    if (options.ListFields) {
        ListFields(plugin);
        if (options.Paths.empty())
            return 0;
    }
    for (const std::string& column : options.Columns) {
        const auto& fields = plugin.Fields();
        if (std::none_of(fields.begin(), fields.end(), [&](const THostField& f) { return f.Name == column; })) {
            std::cerr << "addoscope: the plugin has no field \"" << column << "\" (see --fields)\n";
            return 2;
        }
    }

    int missing = 0;
    const std::vector<std::string> files = CollectFiles(options, DetectExtensions(plugin.DetectString()), missing);
    const bool progress = files.size() > 1 && platform::StdErrIsTerminal();
    std::vector<TFileReport> table;
    for (size_t i = 0; i < files.size(); ++i) {
        if (progress)
            std::fprintf(stderr, "\r[%zu/%zu] ", i + 1, files.size());
        TFileReport report = Inspect(plugin, files[i]);
        if (!options.Columns.empty())
            table.push_back(std::move(report));
        else if (options.Json)
            PrintJsonLine(std::cout, report);
        else
            PrintBlock(std::cout, report);
    }
    if (progress)
        std::fprintf(stderr, "\r%*s\r", 24, "");
    if (!options.Columns.empty())
        PrintTable(std::cout, options.Columns, table);
    return missing > 0 ? 1 : 0;
}
