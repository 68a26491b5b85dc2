#include "tools/Report.h"

#include <algorithm>
#include <cstdio>

namespace addoscope::tools {

namespace {

// Width on a terminal, counted in code points; good enough for alignment.
size_t DisplayWidth(const std::string& utf8)
{
    return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(),
                                             [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Keeps table cells on one line.
std::string OneLine(const std::string& text)
{
    std::string out = text;
    std::replace_if(out.begin(), out.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return out;
}

const std::string* Find(const TFileReport& report, const std::string& field)
{
    for (const auto& [name, value] : report.Values)
        if (name == field)
            return &value;
    return nullptr;
}

} // namespace

void PrintBlock(std::ostream& out, const TFileReport& report)
{
    out << report.Path << '\n';
    if (!report.Error.empty())
        out << "  (" << report.Error << ")\n";
    for (const auto& [name, value] : report.Values)
        out << "  " << name << ": " << value << '\n';
    out << '\n';
}

std::string JsonString(const std::string& utf8)
{
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                out += escaped;
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

void PrintJsonLine(std::ostream& out, const TFileReport& report)
{
    out << "{\"path\":" << JsonString(report.Path);
    for (const auto& [name, value] : report.Values)
        out << ',' << JsonString(name) << ':' << JsonString(value);
    if (!report.Error.empty())
        out << ",\"error\":" << JsonString(report.Error);
    out << "}\n";
}

void PrintTable(std::ostream& out, const std::vector<std::string>& columns, const std::vector<TFileReport>& reports)
{
    std::vector<std::string> header = {"File"};
    header.insert(header.end(), columns.begin(), columns.end());
    std::vector<std::vector<std::string>> rows = {header};
    for (const TFileReport& report : reports) {
        std::vector<std::string> row = {report.Path};
        for (const std::string& column : columns) {
            const std::string* value = Find(report, column);
            row.push_back(value ? OneLine(*value) : std::string());
        }
        rows.push_back(std::move(row));
    }
    std::vector<size_t> widths(header.size(), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

} // namespace addoscope::tools
