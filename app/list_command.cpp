#include "app/list_command.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "app/wake_report.h"

namespace {

// Whole units of `unit` ms, rounded half up; a negative span (a clock that stepped) is 0.
std::int64_t Rounded(std::int64_t ms, std::int64_t unit) { return (std::max<std::int64_t>(ms, 0) + unit / 2) / unit; }

std::string AnsweredBy(const PcResult& result) {
    switch (result.how) {
    case AnswerKind::kEcho: return "echo";
    case AnswerKind::kTcp: return "tcp/" + std::to_string(result.port);
    case AnswerKind::kNone: break;
    }
    return "";
}

std::string VerdictText(const PcResult& result, bool watching) {
    switch (result.verdict) {
    case PcVerdict::kAnswered: {
        const std::string how = AnsweredBy(result);
        return "answered after " + std::to_string(Rounded(result.after_ms, 1000)) + " s" +
               (how.empty() ? "" : " (" + how + ")");
    }
    case PcVerdict::kAlreadyOn: return "was already on";
    case PcVerdict::kNewAddress: return "turned on at " + result.where;
    case PcVerdict::kOtherMac: return "another MAC (" + result.where + ") answers";
    case PcVerdict::kNoAnswer: return "no answer";
    case PcVerdict::kNotWatched: return watching ? "sent, not watched" : "sent";
    case PcVerdict::kNotDecided: return "not decided";
    case PcVerdict::kNotSent: return "could not be sent";
    }
    return "";
}

const char* VerdictToken(PcVerdict verdict) {
    switch (verdict) {
    case PcVerdict::kAnswered: return "answered";
    case PcVerdict::kAlreadyOn: return "already-on";
    case PcVerdict::kNewAddress: return "new-address";
    case PcVerdict::kOtherMac: return "other-mac";
    case PcVerdict::kNoAnswer: return "no-answer";
    case PcVerdict::kNotWatched: return "not-watched";
    case PcVerdict::kNotDecided: return "not-decided";
    case PcVerdict::kNotSent: return "not-sent";
    }
    return "";
}

// A spreadsheet reads a cell that starts with one of these as a formula (a tab or a
// carriage return, where it trims them, as what follows), whatever quotes it.
bool LooksLikeFormula(const std::string& text) {
    return !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
}

std::string CsvField(const std::string& text) {
    const bool formula = LooksLikeFormula(text);
    if (!formula && text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = formula ? "\"'" : "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string TenthsOfSeconds(std::int64_t ms) {
    const std::int64_t tenths = Rounded(ms, 100);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

std::string FormatPcLine(const PcEntry& pc, const PcResult& result, bool watching) {
    std::string line;
    for (const std::string* part : {&pc.ip, &pc.mac, &pc.label}) {
        if (!part->empty()) line += *part + " ";
    }
    return line + VerdictText(result, watching) + (pc.note.empty() ? "" : " (" + pc.note + ")");
}

std::string FormatSummaryLine(std::size_t answered, std::size_t watched, std::int64_t elapsed_ms) {
    return std::to_string(answered) + " of " + std::to_string(watched) + (watched == 1 ? " PC" : " PCs") +
           " answered in " + std::to_string(Rounded(elapsed_ms, 1000)) + " s.";
}

std::string FormatReportCsv(const std::vector<PcEntry>& pcs, const std::vector<PcResult>& results,
                            const std::vector<PcListProblem>& problems) {
    std::string csv = "\xEF\xBB\xBFip,mac,label,verdict,seconds,answered_by,note\r\n";
    const auto row = [&csv](const PcEntry& pc, const std::string& verdict, const std::string& seconds,
                            const std::string& by, const std::string& note) {
        csv += CsvField(pc.ip) + "," + CsvField(pc.mac) + "," + CsvField(pc.label) + "," + verdict + "," + seconds + "," +
               by + "," + CsvField(note) + "\r\n";
    };
    // Both are in line order: merged, the report follows the file.
    std::size_t next_problem = 0;
    const auto skipped_before = [&](int line) {
        for (; next_problem < problems.size() && problems[next_problem].line < line; ++next_problem) {
            const PcListProblem& problem = problems[next_problem];
            if (problem.kind == PcListProblemKind::kSkipped) row(problem.as_read, "skipped", "", "", problem.reason);
        }
    };
    for (std::size_t i = 0; i < pcs.size() && i < results.size(); ++i) {
        skipped_before(pcs[i].line);
        const PcResult& result = results[i];
        const bool answered = result.verdict == PcVerdict::kAnswered;
        row(pcs[i], VerdictToken(result.verdict), answered ? TenthsOfSeconds(result.after_ms) : "",
            answered ? AnsweredBy(result) : "", pcs[i].note);
    }
    skipped_before(std::numeric_limits<int>::max());
    return csv;
}

namespace {

bool SeenOn(PcVerdict verdict) {
    return verdict == PcVerdict::kAnswered || verdict == PcVerdict::kAlreadyOn || verdict == PcVerdict::kNewAddress;
}

// The list's words for what DecideWakeReport makes of a watch.
PcResult ResultOf(const WakeSighting& seen, std::int64_t sent_ms) {
    PcResult result;
    const WakeReport report = DecideWakeReport(seen);
    switch (report.verdict) {
    case WakeVerdict::kTurnedOn:
        return PcResult{PcVerdict::kAnswered, seen.answered_ms - sent_ms, seen.how, seen.port, ""};
    case WakeVerdict::kAlreadyOn: result.verdict = PcVerdict::kAlreadyOn; break;
    case WakeVerdict::kNewAddress:
        result.verdict = PcVerdict::kNewAddress;
        result.where = FormatIpv4(*seen.new_address);
        break;
    case WakeVerdict::kOtherMac:
        result.verdict = PcVerdict::kOtherMac;
        result.where = FormatMacText(report.other_mac);
        break;
    case WakeVerdict::kNoAnswer:
        // Silence counts only where the address was asked.
        result.verdict = seen.not_asked ? PcVerdict::kNotDecided : PcVerdict::kNoAnswer;
        break;
    }
    return result;
}

std::string TooLargeText(const std::string& path, PcListSize size) {
    return "The list " + path + " is too large: " +
           (size == PcListSize::kTooManyBytes ? std::string("more than 1 MB")
                                              : "more than " + std::to_string(kPcListMostPcs) + " PCs");
}

}  // namespace

int RunList(const CommandRequest& request, ListSystem& system, const std::function<void(const std::string& line)>& say) {
    const std::string& path = request.list_file;
    std::string bytes;
    std::string error;
    // Once for the whole list, and before any PC is sent to.
    std::vector<WireEndpoint> also_to;
    if (!ResolveToEndpoints(
            request.to, [&system](const std::string& name) { return system.ResolveHost(name); }, also_to, error)) {
        say(error);
        return kExitBadInput;
    }
    if (!system.ReadListFile(path, bytes, error)) {
        say("Could not read the list " + path + ": " + error);
        return kExitBadInput;
    }
    // The names were compared as typed already; this catches every other spelling of the
    // list's own file (".\\pcs.csv", "pcs.csv.", a link), before anything is sent.
    if (!request.report_file.empty() && system.IsSameFile(request.report_file, path)) {
        say("/report would overwrite the list: " + request.report_file);
        return kExitBadInput;
    }
    const PcList list = ReadPcList(bytes, [&system](const std::string& ip) { return system.FindMacWithoutRequest(ip); });
    if (list.size != PcListSize::kFits) {
        say(TooLargeText(path, list.size));
        return kExitBadInput;
    }
    for (const PcListProblem& problem : list.problems) say(problem.text);
    const std::vector<PcEntry>& pcs = list.entries;
    if (pcs.empty()) {
        say("No PC to wake in the list " + path);
        return kExitBadInput;
    }
    const bool any_skipped = std::any_of(list.problems.begin(), list.problems.end(), [](const PcListProblem& p) {
        return p.kind == PcListProblemKind::kSkipped;
    });

    std::vector<PcResult> results(pcs.size());  // kNotDecided until known
    std::vector<WatchTarget> targets;
    std::vector<std::size_t> target_pc;  // the PC of each target
    std::optional<std::int64_t> first_sent_ms;  // none: cut before the first send
    std::int64_t last_sent_ms = 0;
    std::size_t sent = 0;
    bool cut_short = false;
    for (std::size_t i = 0; i < pcs.size(); ++i) {
        // Asked before every send, with no delay too: Ctrl-C, even while the list was
        // read, stops the sends.
        if (!system.Pause(i > 0 ? request.delay_ms : 0)) {
            cut_short = true;
            break;
        }
        const bool watched = request.wait && !pcs[i].ip.empty();
        const WakeOutcome outcome =
            SendWake(WakeFields{pcs[i].ip, pcs[i].mac, request.password, also_to}, system.Wake(), [&] {
                if (watched) system.Wake().ProbeBeforeSend(pcs[i].ip, pcs[i].mac);
            });
        const std::int64_t sent_ms = system.NowMs();
        if (!first_sent_ms) first_sent_ms = sent_ms;
        last_sent_ms = sent_ms;
        PcResult& result = results[i];
        if (outcome.result != WakeResult::kSent) {
            result.verdict = PcVerdict::kNotSent;
        } else {
            ++sent;
            result.verdict = PcVerdict::kNotWatched;
            if (watched) {
                result.verdict = PcVerdict::kNotDecided;
                targets.push_back(WatchTarget{pcs[i].ip, sent_ms, pcs[i].mac});
                target_pc.push_back(i);
            }
        }
        if (!request.wait) say(FormatPcLine(pcs[i], result, false));
        if (outcome.not_remembered) say(CacheFailedText(*outcome.not_remembered));
    }

    int sweep_needs_s = 0;  // the most a skipped sweep that mattered needed
    if (request.wait) {
        for (std::size_t i = 0; i < pcs.size(); ++i) {
            const PcVerdict known = results[i].verdict;
            if (known == PcVerdict::kNotSent || known == PcVerdict::kNotWatched) say(FormatPcLine(pcs[i], results[i], true));
        }
        if (!cut_short && !targets.empty()) {
            // Every PC gets at least /timeout from its own send.
            const std::int64_t end_ms = last_sent_ms + request.timeout_seconds * std::int64_t{1000};
            system.WatchAll(targets, end_ms, [&](std::size_t index, const WakeSighting& seen) {
                if (index >= targets.size()) return;
                PcResult& result = results[target_pc[index]];
                if (result.verdict != PcVerdict::kNotDecided) return;  // told once
                result = ResultOf(seen, targets[index].sent_ms);
                // Not decided is said with the others left so, below.
                if (result.verdict != PcVerdict::kNotDecided) say(FormatPcLine(pcs[target_pc[index]], result, true));
                for (const PairNotRemembered& pair : seen.not_remembered) say(CacheFailedText(pair));
                if (SweepSkipMatters(seen)) sweep_needs_s = std::max(sweep_needs_s, seen.sweep_needs_s);
            });
        }
    }
    // Left undecided: the PCs the cut came before, sent or not.
    for (std::size_t i = 0; i < pcs.size(); ++i) {
        if (results[i].verdict == PcVerdict::kNotDecided) say(FormatPcLine(pcs[i], results[i], request.wait));
    }
    if (request.wait) {
        // Once for the run, not for each PC it concerns.
        if (sweep_needs_s > 0) say(SweepSkippedText(sweep_needs_s));
        const auto answered =
            std::count_if(results.begin(), results.end(), [](const PcResult& r) { return SeenOn(r.verdict); });
        say(FormatSummaryLine(static_cast<std::size_t>(answered), targets.size(), first_sent_ms ? system.NowMs() - *first_sent_ms : 0));
    }
    bool report_failed = false;
    if (!request.report_file.empty() &&
        !system.WriteReportFile(request.report_file, FormatReportCsv(pcs, results, list.problems), error)) {
        say("Could not write the report " + request.report_file + ": " + error);
        report_failed = true;
    }

    if (sent == 0) return kExitNothingSent;
    if (report_failed) return kExitReportFailed;
    const bool all_well = !any_skipped && std::all_of(results.begin(), results.end(), [](const PcResult& r) {
        return SeenOn(r.verdict) || r.verdict == PcVerdict::kNotWatched;
    });
    const bool only_others = !any_skipped && std::all_of(results.begin(), results.end(), [](const PcResult& r) {
        return SeenOn(r.verdict) || r.verdict == PcVerdict::kNotWatched || r.verdict == PcVerdict::kOtherMac;
    });
    return all_well ? kExitDone : only_others ? kExitOtherDevice : kExitNoAnswer;
}
