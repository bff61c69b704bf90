#pragma once
// The cells of a CSV text as a spreadsheet shows them, for tests of the /list report.
#include <string>
#include <vector>

/// Rows of cells: a UTF-8 byte order mark at the start skipped, quotes taken off ("" is
/// a quote inside), rows ended by "\r\n"; a cell that starts with "'" shown as the text
/// after it. A cell a spreadsheet would compute instead (starting with = + - @, or a
/// tab or carriage return it trims first) reads kComputedCell.
/// No text a list's label can hold: those lose their control characters.
inline const std::string kComputedCell("\0computed\0", 10);

inline std::vector<std::vector<std::string>> SpreadsheetCells(const std::string& csv) {
    const std::string bom = "\xEF\xBB\xBF";
    std::vector<std::vector<std::string>> rows(1);
    std::string cell;
    bool quoted = false, was_quoted = false;
    const auto end_cell = [&] {
        const bool formula = !cell.empty() && std::string("=+-@\t\r").find(cell[0]) != std::string::npos;
        rows.back().push_back(formula ? kComputedCell : !cell.empty() && cell[0] == '\'' ? cell.substr(1) : cell);
        cell.clear();
        was_quoted = false;
    };
    for (std::size_t at = csv.rfind(bom, 0) == 0 ? bom.size() : 0; at < csv.size(); ++at) {
        const char c = csv[at];
        if (quoted && c == '"' && at + 1 < csv.size() && csv[at + 1] == '"') {
            cell += '"';
            ++at;
        } else if (c == '"' && (quoted || (cell.empty() && !was_quoted))) {
            quoted = !quoted;
            was_quoted = true;
        } else if (!quoted && c == ',') {
            end_cell();
        } else if (!quoted && c == '\r' && at + 1 < csv.size() && csv[at + 1] == '\n') {
            end_cell();
            rows.emplace_back();
            ++at;
        } else {
            cell += c;
        }
    }
    rows.pop_back();  // after the last line end
    return rows;
}
