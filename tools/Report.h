#pragma once
// How the addoscope command prints what the plugin answered.
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace addoscope::tools {

// One file's answers: the path as given and the fields that had a value,
// in the plugin's field order (UTF-8). Error is set when the file gave none.
struct TFileReport {
    std::string Path;
    std::vector<std::pair<std::string, std::string>> Values;
    std::string Error;
};

// A block per file: the path, then "  Field: value" lines.
void PrintBlock(std::ostream& out, const TFileReport& report);

// One JSON object per line: "path", then every field with a value, or "error".
void PrintJsonLine(std::ostream& out, const TFileReport& report);
std::string JsonString(const std::string& utf8);

// An aligned table: a header of the column names, then one row per file.
void PrintTable(std::ostream& out, const std::vector<std::string>& columns, const std::vector<TFileReport>& reports);

} // namespace addoscope::tools
