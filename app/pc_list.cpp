#include "app/pc_list.h"

#include <cstdint>

#include "addr/ip_text.h"
#include "addr/typed_text.h"

namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
    std::string out;
    const auto unit = [&](std::size_t at) -> std::uint32_t {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        return big_endian ? (first << 8 | second) : (second << 8 | first);
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const std::uint32_t code = unit(at);
        if (code >= 0xD800 && code < 0xDC00 && at + 3 < bytes.size()) {
            const std::uint32_t low = unit(at + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        AppendUtf8(out, code >= 0xD800 && code < 0xE000 ? kReplacement : code);
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++at;
            continue;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2, code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3, code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4, code = lead & 0x07;
        } else {
            return false;
        }
        if (at + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[at + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
        const std::uint32_t least = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
        if (code < least || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) return false;
        at += length;
    }
    return true;
}

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; its five unused codes keep
// their C1 values, as Windows' own conversion does.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte);
    }
    return out;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsSeparator(char c) { return c == ',' || c == ';' || c == '\t' || c == ' '; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The lines of a text, whatever ends them: "\r\n" (Windows), "\n", or a lone "\r".
// A last line end starts no further line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\n' && text[at] != '\r') continue;
        lines.push_back(text.substr(start, at - start));
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
        start = at + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

bool IsCommentOrBlank(std::string_view line) {
    const std::string kept = TrimBlanks(line);
    return kept.empty() || kept[0] == '#';
}

std::string SkippedText(int line, const std::string& why) { return "Line " + std::to_string(line) + " skipped: " + why; }

}  // namespace

std::string DecodeListText(std::string_view bytes) {
    if (StartsWith(bytes, "\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
    if (StartsWith(bytes, "\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
    if (StartsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

std::vector<std::string> SplitListFields(std::string_view line) {
    std::vector<std::string> fields;
    std::string field;
    const auto end_field = [&] {
        std::string kept = TrimBlanks(field);
        if (!kept.empty()) fields.push_back(std::move(kept));
        field.clear();
    };
    bool quoted = false;
    for (std::size_t at = 0; at < line.size(); ++at) {
        const char c = line[at];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (at + 1 < line.size() && line[at + 1] == '"') {
                field += '"';
                ++at;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (IsSeparator(c)) {
            end_field();
        } else {
            field += c;
        }
    }
    // A quote left open runs to the end of its line: a PC never spans two lines.
    end_field();
    return fields;
}

std::optional<MacBytes> ReadListMac(std::string_view field) {
    // The 17-character form has its digits at every third place from 0 and 1; the
    // 12-digit form has nothing between them.
    std::size_t step = 0;
    if (field.size() == kMacTextLength && (IsValidMacText(field) || field == kZeroMacText)) {
        step = 3;
    } else if (field.size() == 12) {
        step = 2;
    } else {
        return std::nullopt;
    }
    MacBytes bytes{};
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const int high = HexDigit(field[k * step]);
        const int low = HexDigit(field[k * step + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[k] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return bytes;
}

bool IsListIp(std::string_view field) { return IsValidIpText(field) && ReadIpv4Octets(field).has_value(); }

PcList ReadPcList(const std::string& file_bytes, const FindMac& find_mac) {
    PcList list;
    if (file_bytes.size() > kPcListMostBytes) {
        list.size = PcListSize::kTooManyBytes;
        return list;
    }
    const std::string text = DecodeListText(file_bytes);
    const std::vector<std::string_view> lines = SplitLines(text);
    if (lines.size() > kPcListMostLines) {
        list.size = PcListSize::kTooManyLines;
        return list;
    }
    bool header_possible = true;
    const auto skip = [&list](int number, const std::string& why, const PcEntry& as_read) {
        list.problems.push_back({number, SkippedText(number, why), PcListProblemKind::kSkipped, why, as_read});
    };
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const int number = static_cast<int>(index + 1);
        if (IsCommentOrBlank(lines[index])) continue;
        const std::vector<std::string> fields = SplitListFields(lines[index]);
        // A line of separators only (a spreadsheet's empty row) is a blank line.
        if (fields.empty()) continue;
        std::vector<MacBytes> macs;
        std::vector<std::string> ips;
        PcEntry entry{number, "", "", "", ""};
        for (const std::string& field : fields) {
            if (const std::optional<MacBytes> mac = ReadListMac(field)) {
                macs.push_back(*mac);
            } else if (IsListIp(field)) {
                ips.push_back(field);
            } else {
                entry.label += (entry.label.empty() ? "" : " ") + field;
            }
        }
        const bool first = header_possible;
        header_possible = false;
        if (macs.empty() && ips.empty()) {
            if (!first) skip(number, "no MAC or IP", entry);
            continue;
        }
        if (macs.size() > 1 || ips.size() > 1) {
            skip(number, macs.size() > 1 ? "two MACs" : "two IPs", entry);
            continue;
        }
        if (!ips.empty()) entry.ip = ips[0];
        if (macs.empty()) {
            const std::optional<MacBytes> found = ReadListMac(TrimBlanks(find_mac(entry.ip)));
            // A found MAC that wakes nobody is as good as none.
            if (!found || IsZeroMac(*found) || IsGroupMac(*found)) {
                skip(number, "no MAC for " + entry.ip, entry);
                continue;
            }
            macs.push_back(*found);
        }
        entry.mac = FormatMacText(macs[0]);
        if (IsZeroMac(macs[0]) || IsGroupMac(macs[0])) {
            skip(number, entry.mac + " wakes no PC", entry);
            continue;
        }
        list.entries.push_back(std::move(entry));
    }
    return list;
}
