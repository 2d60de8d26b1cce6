#include "history.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <iostream>

#include "report.h"
#include "say.h"

namespace velmar::cli {

namespace {

const char* const kUndoUsage =
    "usage: velmar-cli undo [ID]\n"
    "       velmar-cli redo\n"
    "       velmar-cli history [--json]\n"
    "  undo puts back the files of the newest change not yet undone (or of change ID),\n"
    "  file by file: their old tags and their old names. A file another program changed\n"
    "  or moved since is left as it is and named (exit status 1). redo makes the change\n"
    "  undone last again. history lists the changes, newest first.\n";

int Report(const TUndoOutcome& out, const char* what) {
    if (out.Id == 0) {
        std::cerr << "velmar-cli: nothing to " << what << "\n";
        return 1;
    }
    for (const auto& [file, why] : out.LeftAlone)
        std::cerr << "velmar-cli: " << Printable(file.string()) << ": left as it is: " << Printable(why) << "\n";
    std::cout << (what == std::string("undo") ? "undone" : "redone") << ": change " << out.Id << ", "
              << Printable(out.Text) << " (" << out.Restored << " file(s))\n";
    return out.LeftAlone.empty() ? 0 : 1;
}

}  // namespace

std::string CommandLine(const std::string& command, const std::vector<std::string>& args) {
    std::string line = "velmar-cli " + command;
    for (const std::string& a : args) line += a.find_first_of(" \t'\"") == std::string::npos ? " " + a : " '" + a + "'";
    return line;
}

TApplyOptions Recording(const THistory* history) {
    static TSayingSink sink;
    return {history, &sink, {}};
}

int ApplyPrinting(const TFileChange& change, const THistory* history) {
    int status = 0;
    TApplyOptions options = Recording(history);
    options.OnFile = [&](size_t i, const TFileOutcome& outcome) {
        for (const std::string& m : outcome.Messages)
            Say(change.Files[i].string(), m);
        if (!outcome.Written) status = 1;
        return true;
    };
    ApplyChange(change, options);
    return status;
}

namespace {

int Undo(const TArgs& args, THistory* history) {
    uint64_t id = 0;
    if (args.Operands.size() > 1) return args.UsageError("undo takes one change at most");
    for (const std::string& a : args.Operands) {
        const auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), id);
        if (ec != std::errc() || end != a.data() + a.size() || id == 0)
            return args.UsageError("undo takes the number of a change, not \"" + a + "\"");
    }
    try {
        return Report(history->Undo(id), "undo");
    } catch (const std::exception& e) {
        std::cerr << "velmar-cli: " << Printable(e.what()) << "\n";
        return 1;
    }
}

int Redo(const TArgs& args, THistory* history) {
    if (!args.Operands.empty()) return args.UsageError("redo takes no arguments");
    try {
        return Report(history->Redo(), "redo");
    } catch (const std::exception& e) {
        std::cerr << "velmar-cli: " << Printable(e.what()) << "\n";
        return 1;
    }
}

int History(const TArgs& args, THistory* history) {
    if (!args.Operands.empty()) return args.UsageError("history takes no paths");
    const bool json = args.Has("--json");
    for (const TChangeRecord& r : history->Changes()) {
        if (json) {
            std::cout << "{\"id\":" << r.Id << ",\"time\":" << r.Time << ",\"command\":" << JsonQuoted(r.Command)
                      << ",\"text\":" << JsonQuoted(Described(r)) << ",\"files\":" << r.Files.size()
                      << ",\"undone\":" << (r.Undone ? "true" : "false") << "}\n";
            continue;
        }
        char when[32] = "";
        const std::time_t t = std::time_t(r.Time);
        std::tm local{};
        if (localtime_r(&t, &local)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
        std::cout << r.Id << "  " << when << "  " << Printable(Described(r)) << (r.Undone ? "  (undone)" : "") << "\n";
    }
    return 0;
}

}  // namespace

const TCommand kUndo{"undo", kUndoUsage, {}, Undo, true};
const TCommand kRedo{"redo", kUndoUsage, {}, Redo, true};
const TCommand kHistory{"history", kUndoUsage, {{"--json"}}, History, true};

}  // namespace velmar::cli
