#include "check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>

#include "batch/makelist.h"
#include "file/filereader.h"
#include "file/filescan.h"
#include "file/mpegchecker.h"
#include "report.h"
#include "say.h"

namespace velmar::cli {

namespace {

using Clock = std::chrono::steady_clock;

// "Checking 1234/10000 files..." on a terminal's standard error, once a run has
// taken a second; redrawn at most ten times a second and wiped at the end.
class TProgress {
public:
    explicit TProgress(size_t total)
        : Total(total),
          Enabled(::isatty(STDERR_FILENO) == 1),
          OutIsTerminal(::isatty(STDOUT_FILENO) == 1),
          Begin(Clock::now()),
          Last(Begin) {}
    ~TProgress() { Clear(); }

    void Step(size_t done) {
        if (!Enabled) return;
        const auto now = Clock::now();
        if (now - Begin < std::chrono::seconds(1) || (Shown && now - Last < std::chrono::milliseconds(100))) return;
        Last = now;
        if (OutIsTerminal) std::cout.flush();  // the report comes first on a shared screen
        std::cerr << "\rChecking " << done << "/" << Total << " files..." << std::flush;
        Shown = true;
    }
    // Wipes the line before the report goes to the same terminal, and at the end.
    void BeforeOutput() {
        if (OutIsTerminal) Clear();
    }
    void Clear() {
        if (!Shown) return;
        std::cerr << "\r\033[K" << std::flush;
        Shown = false;
    }

private:
    size_t Total;
    bool Enabled, OutIsTerminal;
    bool Shown = false;
    Clock::time_point Begin, Last;
};

// Prints why the report was not written; returns the exit status for it.
int ReportNotWritten(const std::string& file, const std::string& problem) {
    std::cerr << "velmar-cli: cannot write the report " << Printable(file) << ": " << problem << "\n";
    return 1;
}

// Why no report could be written at `file`: its folder is missing or may not be
// written to. Empty when it can be tried; the write itself may still fail.
std::string ReportFolderProblem(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return {};
}

const char* OutcomeName(TCheckOutcome outcome) {
    switch (outcome) {
        case TCheckOutcome::Ok: return "ok";
        case TCheckOutcome::FreeFormat: return "free-format";
        case TCheckOutcome::NoAudio: return "no-audio";
        case TCheckOutcome::ReadError: return "read-error";
        case TCheckOutcome::SyncError: return "sync-error";
        case TCheckOutcome::CutShort: return "cut-short";
        case TCheckOutcome::OpenError: return "open-error";
    }
    return "";
}

// The report's second line says what was found ("No MPEG Sync nibbles."), without its full stop.
std::string Finding(const TCheckResult& r) {
    std::string text = r.Lines.size() > 1 ? r.Lines[1] : "";
    if (text.ends_with('.')) text.pop_back();
    return text;
}

// "OK  PATH"; "DAMAGED  PATH: 3 problems, first at offset X of Y: what it is", or
// without problems "DAMAGED  PATH: what was found, at offset X of Y"; "FAILED  PATH: why it was not checked".
std::string OneLine(const TCheckResult& r, const std::string& path) {
    if (r.Outcome == TCheckOutcome::OpenError) return "FAILED  " + path + ": " + Finding(r);
    if (!r.IsError()) return r.Outcome == TCheckOutcome::FreeFormat ? "OK  " + path + ": " + Finding(r) : "OK  " + path;
    const std::string size = " of " + std::to_string(r.FileSize);
    if (r.Problems.empty())
        return "DAMAGED  " + path + ": " + Finding(r) + ", at offset " + std::to_string(r.Offset) + size;
    const TCheckProblem& first = r.Problems.front();
    return "DAMAGED  " + path + ": " + ProblemCountText(r.ProblemCount) + (r.ProblemCount == 1 ? " at" : ", first at") +
           " offset " + std::to_string(first.Offset) + size + ": " + ProblemText(first);
}

std::string Num(int64_t n) { return n >= 0 ? std::to_string(n) : "null"; }

// {"offset":O,"kind":"garbage","bytes":B} and what else the kind tells.
std::string ProblemJson(const TCheckProblem& p) {
    std::string out = "{\"offset\":" + std::to_string(p.Offset) + ",\"kind\":\"" + ProblemKindName(p.Kind) +
                      "\",\"bytes\":" + std::to_string(p.Bytes);
    switch (p.Kind) {
        case TProblemKind::Garbage: break;
        case TProblemKind::CutFrame:
        case TProblemKind::CutLastFrame:
            out += ",\"frame_bytes\":" + Num(p.FrameLength > 0 ? p.FrameLength : -1);
            break;
        case TProblemKind::ForeignFrame:
            out += ",\"frames\":" + std::to_string(p.Frames) + ",\"stream\":" + JsonQuoted(p.Name);
            break;
        case TProblemKind::Tag: out += ",\"tag\":" + JsonQuoted(p.Name); break;
        case TProblemKind::VbrHeader:
            out += ",\"header\":" + JsonQuoted(p.Name) + ",\"header_frames\":" + Num(p.SaidFrames) +
                   ",\"header_bytes\":" + Num(p.SaidBytes) + ",\"stream_frames\":" + std::to_string(p.StreamFrames) +
                   ",\"stream_bytes\":" + std::to_string(p.StreamBytes);
            break;
    }
    return out + "}";
}

std::string JsonLine(const TCheckResult& r, const std::string& path) {
    const bool failed = r.Outcome == TCheckOutcome::OpenError;
    const char* verdict = failed ? "failed" : r.IsError() ? "damaged" : "ok";
    std::string problems = "[";
    for (const TCheckProblem& p : r.Problems) problems += (problems.size() > 1 ? "," : "") + ProblemJson(p);
    problems += "]";
    return "{\"path\":" + JsonQuoted(path) + ",\"ok\":" + (failed || r.IsError() ? "false" : "true") +
           ",\"frames\":" + std::to_string(r.Frames) + ",\"problems\":" + problems +
           ",\"problem_count\":" + std::to_string(r.ProblemCount) + ",\"verdict\":\"" + verdict + "\",\"outcome\":\"" +
           OutcomeName(r.Outcome) + "\",\"message\":" + JsonQuoted(Finding(r)) + ",\"offset\":" + Num(r.Offset) +
           ",\"size\":" + std::to_string(r.FileSize) + "}";
}

}  // namespace

std::string ParseCheckOptions(const TArgs& args, TCheckOptions& options) {
    for (const auto& [name, value] : args.Options) {
        if (name == "--report")
            options.ReportFile = value;
        else
            options.Style = name == "--json" ? TCheckOptions::Json : TCheckOptions::Verbose;
    }
    if (args.Operands.empty()) return "check needs at least one path";
    options.Files = args.PathList();
    return "";
}

int RunCheck(const TCheckOptions& options) {
    const bool toReport = !options.ReportFile.empty();
    // A report that cannot be written fails at once, not after every file was checked.
    if (const std::string problem = toReport ? ReportFolderProblem(options.ReportFile) : ""; !problem.empty())
        return ReportNotWritten(options.ReportFile, problem);
    // The report's text is gathered and written at the end beside the report file,
    // then renamed over it, so a link planted at its name is replaced, never followed.
    std::string report;
    auto emit = [&](const std::string& line) {
        // A JSON record escapes what it holds already.
        const std::string shown = options.Style == TCheckOptions::Json ? line : Printable(line);
        std::cout << shown << '\n';
        if (toReport) report.append(shown).append(1, '\n');
    };

    const TPathList& files = options.Files;
    TProgress progress(files.size());
    bool errors = false;
    size_t checked = 0;
    // Each file is checked on the thread pool; the reports are written here in order.
    ReadFilesInOrder<TCheckResult>(
        files,
        [](const std::filesystem::path& file, TCollectingSink&) {
            thread_local TMPEGChecker checker;  // one buffer per thread, kept from file to file
            return checker.CheckFile(file);
        },
        [&](size_t i, TFileRead<TCheckResult>&& read) {
            errors = errors || read.Failed || read.Value.IsError();
            progress.BeforeOutput();
            const std::string path = files[i];
            if (options.Style == TCheckOptions::Verbose)
                for (const std::string& line : read.Value.Lines) emit(line);
            else
                emit(options.Style == TCheckOptions::Json ? JsonLine(read.Value, path) : OneLine(read.Value, path));
            for (const std::string& m : read.Messages) Say(files[i], m);
            checked = i + 1;
            progress.Step(checked);
            return true;
        },
        [&] {
            progress.Step(checked);
            return true;
        });
    progress.Clear();
    if (options.Style != TCheckOptions::Json) emit(CheckedFilesLine(files.size()));
    std::cout.flush();
    if (toReport)
        if (const std::string problem = ReplaceFileContents(options.ReportFile, report); !problem.empty())
            return ReportNotWritten(options.ReportFile, problem);
    return errors ? 1 : 0;
}

}  // namespace velmar::cli
