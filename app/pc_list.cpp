#include "app/pc_list.h"

#include <algorithm>
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

enum class Utf16Shape { kNone, kLittleEndian, kBigEndian };

// UTF-16 without its mark, by the side its zero bytes are on (see DecodeListText).
Utf16Shape GuessUtf16(std::string_view bytes) {
    if (bytes.empty() || bytes.size() % 2 != 0) return Utf16Shape::kNone;
    const std::size_t units = std::min<std::size_t>(bytes.size() / 2, 512);
    std::size_t zero_second = 0;
    std::size_t zero_first = 0;
    for (std::size_t k = 0; k < units; ++k) {
        const bool first = bytes[2 * k] != 0;
        const bool second = bytes[2 * k + 1] != 0;
        if (first && !second) ++zero_second;
        if (!first && second) ++zero_first;
    }
    if (zero_second * 2 >= units && zero_first * 8 <= zero_second) return Utf16Shape::kLittleEndian;
    if (zero_first * 2 >= units && zero_second * 8 <= zero_first) return Utf16Shape::kBigEndian;
    return Utf16Shape::kNone;
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsCommentOrBlank(std::string_view line) {
    const std::string kept = TrimBlanks(line);
    return kept.empty() || kept[0] == '#';
}

// C0 controls but tab, which separates, and DEL: a NUL in a label would cut it short
// wherever it is later said.
bool IsDroppedControl(char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F; }

constexpr int kMostBreaksInQuote = 4;

// One record as written: the text of its fields without their quotes, each also cut
// into words at the blanks outside quotes.
struct RawWord {
    std::string text;
    bool quoted = false;  // holds a quoted part
};
struct RawField {
    std::string text;
    std::vector<RawWord> words;
};
struct RawRecord {
    std::vector<RawField> fields;  // blank ones left out
    bool split_at_marks = false;   // a comma, semicolon or tab outside quotes
    bool quote_open = false;
    std::size_t next = 0;  // where the next record starts
    int line_breaks = 0;   // that it holds, its own end included
};

// The record that starts at `at`: its first line, and the lines a quoted field carries
// on to. With `first_line_only`, a quote left open ends with that line.
RawRecord ReadRawRecord(std::string_view text, std::size_t at, bool first_line_only) {
    RawRecord record;
    RawField field;
    RawWord word;
    const auto add = [&](char c) {
        word.text += c;
        field.text += c;
    };
    const auto end_word = [&] {
        std::string kept = TrimBlanks(word.text);
        if (!kept.empty()) field.words.push_back({std::move(kept), word.quoted});
        word = RawWord();
    };
    const auto end_field = [&] {
        end_word();
        field.text = TrimBlanks(field.text);
        if (!field.text.empty()) record.fields.push_back(std::move(field));
        field = RawField();
    };
    bool quoted = false;
    int breaks_in_quote = 0;
    while (at < text.size()) {
        const char c = text[at++];
        if (c == '\r' || c == '\n') {
            // "\r\n" (Windows), "\n", or a lone "\r".
            if (c == '\r' && at < text.size() && text[at] == '\n') ++at;
            ++record.line_breaks;
            if (!quoted || first_line_only) break;
            if (breaks_in_quote == kMostBreaksInQuote) {
                record.quote_open = true;
                break;
            }
            ++breaks_in_quote;
            add(' ');
        } else if (IsDroppedControl(c)) {
            // Never kept, inside quotes or out.
        } else if (quoted) {
            if (c != '"') {
                add(c == '\t' ? ' ' : c);
            } else if (at < text.size() && text[at] == '"') {
                add('"');
                ++at;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
            word.quoted = true;
            breaks_in_quote = 0;
        } else if (c == ',' || c == ';' || c == '\t') {
            record.split_at_marks = true;
            end_field();
        } else if (c == ' ') {
            end_word();
            field.text += c;
        } else {
            add(c);
        }
    }
    if (quoted && !first_line_only) record.quote_open = true;
    end_field();
    record.next = at;
    return record;
}

// What IsValidIpText refuses in an address whose octets read: a first octet of 0,
// 127 or 224 and up, or a last one of 0 or 255.
std::string WhyNotWatched(const Ipv4Bytes& octets) {
    if (octets[0] == 0 || octets[0] == 127 || octets[0] >= 224) return "a loopback, multicast or reserved address";
    return "a network or broadcast address";
}

// A line as read, before any MAC is asked for.
struct LineReading {
    PcEntry as_read;  // its line, first IP, label and note; the MAC is set later
    std::vector<MacBytes> macs;
    int ips = 0;                // IPs and addresses that cannot be watched
    std::string not_watched;    // the first address that cannot be watched
    std::string why_not;        // and why
    std::string said;           // every field, joined by one space
    bool quote_open = false;
    bool header = false;
};

// Counts `text` as the line's MAC or IP when it has one's shape; false for label text.
bool TakeAddress(const std::string& text, bool twelve_digits_too, LineReading& reading) {
    if (twelve_digits_too || text.size() == kMacTextLength) {
        if (const std::optional<MacBytes> mac = ReadListMac(text)) {
            reading.macs.push_back(*mac);
            return true;
        }
    }
    const std::optional<Ipv4Bytes> octets = ReadIpv4Octets(text);
    if (!octets) return false;
    ++reading.ips;
    if (IsListIp(text)) {
        if (reading.as_read.ip.empty()) reading.as_read.ip = text;
    } else if (reading.not_watched.empty()) {
        reading.not_watched = text;
        reading.why_not = WhyNotWatched(*octets);
        reading.as_read.note = text + " cannot be watched: " + reading.why_not;
    }
    return true;
}

LineReading ReadLine(const RawRecord& record, int line) {
    LineReading reading;
    reading.as_read.line = line;
    reading.quote_open = record.quote_open;
    const auto add_label = [&reading](const std::string& part) {
        std::string& label = reading.as_read.label;
        label += (label.empty() ? "" : " ") + part;
    };
    for (const RawField& field : record.fields) {
        for (const RawWord& word : field.words) reading.said += (reading.said.empty() ? "" : " ") + word.text;
        if (!record.split_at_marks) {
            // Each word is a field of its own.
            for (const RawWord& word : field.words) {
                if (!TakeAddress(word.text, true, reading)) add_label(word.text);
            }
        } else if (!TakeAddress(field.text, true, reading)) {
            for (const RawWord& word : field.words) {
                if (word.quoted || !TakeAddress(word.text, false, reading)) add_label(word.text);
            }
        }
    }
    return reading;
}

// At most `most` characters of UTF-8 `text`, never cut inside one.
std::string FirstCharacters(const std::string& text, std::size_t most) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
        if (++characters > most) return text.substr(0, at);
    }
    return text;
}

PcListProblem Skipped(const LineReading& reading, const std::string& reason) {
    const int line = reading.as_read.line;
    return {line, "Line " + std::to_string(line) + " skipped: " + reason, PcListProblemKind::kSkipped, reason,
            reading.as_read};
}

}  // namespace

std::string DecodeListText(std::string_view bytes) {
    if (StartsWith(bytes, "\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
    if (StartsWith(bytes, "\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
    if (StartsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
    switch (GuessUtf16(bytes)) {
    case Utf16Shape::kLittleEndian:
        return Utf16ToUtf8(bytes, false);
    case Utf16Shape::kBigEndian:
        return Utf16ToUtf8(bytes, true);
    case Utf16Shape::kNone:
        break;
    }
    return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
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
    // Every line is read before any MAC is asked for: a list with too many PCs is
    // refused whole.
    std::vector<LineReading> readings;
    std::size_t pcs = 0;
    int line = 1;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t first_end = text.find_first_of("\r\n", at);
        const bool skipped = IsCommentOrBlank(std::string_view(text).substr(at, first_end - at));
        RawRecord record = ReadRawRecord(text, at, skipped);
        // A quote left open: its line alone, read as far as it goes.
        if (record.quote_open) {
            record = ReadRawRecord(text, at, true);
            record.quote_open = true;
        }
        const int first_line = line;
        at = record.next;
        line += record.line_breaks;
        // A line of separators only (a spreadsheet's empty row) is a blank line.
        if (skipped || (record.fields.empty() && !record.quote_open)) continue;
        LineReading reading = ReadLine(record, first_line);
        reading.header = readings.empty() && reading.macs.empty() && reading.ips == 0 && !reading.quote_open;
        if (!reading.header && ++pcs > kPcListMostPcs) {
            list.size = PcListSize::kTooManyPcs;
            return list;
        }
        readings.push_back(std::move(reading));
    }
    for (LineReading& reading : readings) {
        PcEntry& entry = reading.as_read;
        if (reading.header) {
            list.problems.push_back({entry.line,
                                     "Line " + std::to_string(entry.line) +
                                         " read as the header: " + FirstCharacters(reading.said, 60),
                                     PcListProblemKind::kHeader, "", PcEntry()});
            continue;
        }
        if (reading.quote_open) {
            list.problems.push_back(Skipped(reading, "a quote is not closed"));
            continue;
        }
        if (!reading.macs.empty()) entry.mac = FormatMacText(reading.macs[0]);
        if (reading.macs.empty() && reading.ips == 0) {
            list.problems.push_back(Skipped(reading, "no MAC or IP"));
            continue;
        }
        if (reading.macs.size() > 1 || reading.ips > 1) {
            list.problems.push_back(Skipped(reading, reading.macs.size() > 1 ? "two MACs" : "two IPs"));
            continue;
        }
        if (reading.macs.empty() && entry.ip.empty()) {
            list.problems.push_back(Skipped(reading, "no MAC, and " + reading.not_watched + " is " + reading.why_not));
            continue;
        }
        if (reading.macs.empty()) {
            const std::optional<MacBytes> found = ReadListMac(TrimBlanks(find_mac(entry.ip)));
            // A found MAC that wakes nobody is as good as none.
            if (!found || IsZeroMac(*found) || IsGroupMac(*found)) {
                list.problems.push_back(Skipped(reading, "no MAC for " + entry.ip));
                continue;
            }
            reading.macs.push_back(*found);
        }
        const std::string mac = FormatMacText(reading.macs[0]);
        if (IsZeroMac(reading.macs[0]) || IsGroupMac(reading.macs[0])) {
            list.problems.push_back(Skipped(reading, mac + " wakes no PC"));
            continue;
        }
        entry.mac = mac;
        list.entries.push_back(std::move(entry));
    }
    return list;
}
