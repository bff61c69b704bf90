// Properties of the list file and its report for any input:
//  - reading never fails, and the report's rows as a spreadsheet shows them hold each
//    PC's IP and MAC, its label (with the "'" a formula-like label gets taken off), and
//    no cell a spreadsheet would compute;
//  - the report read back as a list names the same PCs, row for row: the same IPs and
//    MACs (the report is a list the program can take again).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/list_command.h"
#include "app/pc_list.h"
#include "tests/fuzz/property.h"
#include "tests/support/spreadsheet_cells.h"

namespace {

// Some addresses have a MAC to find, the others not.
std::string MacOfSomeAddresses(const std::string& ip) { return !ip.empty() && ip.back() % 2 ? "02-00-00-00-00-01" : ""; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const PcList list = ReadPcList(bytes, MacOfSomeAddresses);
    std::vector<PcResult> results;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        results.push_back({static_cast<PcVerdict>(i % 8), 1500, AnswerKind::kEcho, 0, "10.0.0.7"});
    }
    const std::string csv = FormatReportCsv(list.entries, results, list.problems);

    // The rows that are PCs, by their line in the report: the skipped ones lie between.
    std::vector<std::size_t> pc_rows;
    std::size_t next_problem = 0, row = 1;
    for (const PcEntry& pc : list.entries) {
        for (; next_problem < list.problems.size() && list.problems[next_problem].line < pc.line; ++next_problem) {
            row += list.problems[next_problem].kind == PcListProblemKind::kSkipped;
        }
        pc_rows.push_back(row++);
    }
    const auto cells = SpreadsheetCells(csv);
    for (std::size_t i = 0; i < pc_rows.size(); ++i) {
        if (pc_rows[i] >= cells.size() || cells[pc_rows[i]].size() != 7) FailProperty("a PC's row is missing", bytes);
        const std::vector<std::string>& shown = cells[pc_rows[i]];
        const PcEntry& pc = list.entries[i];
        if (shown[0] != pc.ip || shown[1] != pc.mac) FailProperty("a row shows another IP or MAC", bytes);
        const bool guarded = !pc.label.empty() && pc.label[0] == '\'';
        if (shown[2] != (guarded ? pc.label.substr(1) : pc.label)) FailProperty("a row shows another label", bytes);
    }
    for (const auto& cells_of_row : cells) {
        for (const std::string& cell : cells_of_row) {
            if (cell == kComputedCell) FailProperty("a spreadsheet would compute a cell", bytes);
        }
    }

    // Skipped rows may read back otherwise (a MAC found now, say); the PCs' rows may not.
    const PcList again = ReadPcList(csv, MacOfSomeAddresses);
    std::size_t at = 0;
    for (std::size_t i = 0; i < pc_rows.size(); ++i) {
        const int line = static_cast<int>(pc_rows[i]) + 1;
        while (at < again.entries.size() && again.entries[at].line < line) ++at;
        if (at == again.entries.size() || again.entries[at].line != line) FailProperty("a PC did not read back", bytes);
        if (again.entries[at].ip != list.entries[i].ip || again.entries[at].mac != list.entries[i].mac) {
            FailProperty("a PC read back with another IP or MAC", bytes);
        }
    }
    return 0;
}
