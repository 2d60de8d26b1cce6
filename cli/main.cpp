// velmar-cli: Velmar's core from a shell.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "base/version.h"
#include "check.h"
#include "file/filereader.h"
#include "file/filescan.h"
#include "file/inplace.h"
#include "file/mp3object.h"
#include "formats.h"
#include "history.h"
#include "lists.h"
#include "pictures.h"
#include "report.h"
#include "settags.h"

namespace {

using namespace velmar;

const char* const kCutShort =
    "a save of this file was cut short: the next change of the file finishes it, or velmar-cli recover";

const char* const kUsage =
    "usage: velmar-cli info [--json] PATH...\n"
    "       velmar-cli set [options] FILE...   (velmar-cli set --help)\n"
    "       velmar-cli check [--verbose | --json] [--report FILE] PATH...\n"
    "       velmar-cli rename (--format NAME | --mask MASK) [--dry-run] [--data DIR] FILE...\n"
    "       velmar-cli fill --mask MASK [options] FILE...   (velmar-cli fill --help)\n"
    "       velmar-cli formats [--mode rename|fill|list] [--data DIR]\n"
    "       velmar-cli list (--list NAME | --top/--main/--end FILE) [--format NAME] -o REPORT PATH...\n"
    "       velmar-cli match --minutes N PATH...\n"
    "       velmar-cli wipe [--v2] [--v1] [--lyrics3] [--dry-run] FILE...\n"
    "       velmar-cli pictures FILE [-o DIR]\n"
    "       velmar-cli recover PATH...\n"
    "       velmar-cli undo [ID] | redo | history [--json]\n"
    "       velmar-cli --version\n"
    "\n"
    "set options: --title T --artist A --album A --year Y --track N[/M] --genre NAME\n"
    "             --comment C [--comment-lang LANG] [--comment-desc TEXT]\n"
    "             --frame ID=TEXT --txxx DESC=TEXT --wxxx DESC=URL --lyrics FILE\n"
    "             --picture FILE[:TYPE[:DESC]] --remove-pictures --remove ID\n"
    "             --v2/--no-v2 --v1/--no-v1 --lyrics3/--no-lyrics3 --replace-v2\n"
    "\n"
    "set, fill, rename and wipe are recorded in the history of changes, so that undo can\n"
    "take them back; --no-history (before the command) leaves a change out of it.\n";

int Usage(const std::string& error) {
    if (!error.empty()) std::cerr << "velmar-cli: " << error << "\n";
    std::cerr << kUsage;
    return 2;
}

// Prints every message at once, naming the file it belongs to.
class TPrintingSink : public TMessageSink {
public:
    explicit TPrintingSink(std::string file) : File(std::move(file)) {}
    void Error(const std::string& text) override {
        std::cerr << "velmar-cli: " << cli::Printable(File + ": " + text) << "\n";
    }

private:
    std::string File;
};

int Info(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::filesystem::path> paths;
    for (const std::string& a : args) {
        if (a == "--json")
            json = true;
        else if (a.starts_with("--"))
            return Usage("unknown option " + a);
        else
            paths.emplace_back(a);
    }
    if (paths.empty()) return Usage("info needs at least one path");
    // The files are read and their records made on the thread pool, printed here in order.
    struct TRecord {
        bool Loaded = false;
        std::string Text;
    };
    const std::vector<std::filesystem::path> files = ExpandPaths(paths);
    int status = 0;
    ReadFilesInOrder<TRecord>(
        files,
        [json](const std::filesystem::path& path, TCollectingSink& sink) {
            TMP3Object file(sink);
            TRecord record;
            record.Loaded = file.LoadFile(path, false);
            // Reading never finishes a save that was cut short: it only says so.
            if (HasCutShortSave(WriteTargetOf(path))) sink.Error(kCutShort);
            record.Text = json ? cli::JsonRecord(file, path.string(), sink.Messages)
                               : cli::TextRecord(file, path.string(), sink.Messages);
            return record;
        },
        [&](size_t i, TFileRead<TRecord>&& read) {
            if (read.Failed) {
                // No record to print: the file's messages go to standard error.
                for (const std::string& m : read.Messages) TPrintingSink(files[i].string()).Error(m);
                status = 1;
                return true;
            }
            std::cout << read.Value.Text << "\n";
            if (!read.Value.Loaded) {
                // The record holds why; standard error says it too, for a script that reads only that.
                std::cout.flush();
                for (const std::string& m : read.Messages) TPrintingSink(files[i].string()).Error(m);
                status = 1;
            }
            return true;
        });
    return status;
}

// Finishes the saves of the files (or the files of folders) that were cut short.
int Recover(const std::vector<std::string>& args) {
    std::vector<std::filesystem::path> paths;
    for (const std::string& a : args) {
        if (a.starts_with("--")) return Usage("unknown option " + a);
        paths.emplace_back(a);
    }
    if (paths.empty()) return Usage("recover needs at least one path");
    int status = 0;
    size_t finished = 0;
    for (const std::filesystem::path& file : ExpandPaths(paths)) {
        TPrintingSink sink(file.string());
        try {
            std::string report;
            switch (RecoverInterruptedSave(WriteTargetOf(file), &report)) {
                case TRecovery::Nothing:
                    if (!report.empty()) sink.Error(report);
                    break;
                case TRecovery::RestoredOld:
                    std::cout << cli::Printable(file.string()) << ": the old tags were put back\n";
                    ++finished;
                    break;
                case TRecovery::KeptNew:
                    std::cout << cli::Printable(file.string()) << ": the new tags were written whole and are kept\n";
                    ++finished;
                    break;
                case TRecovery::SetAside:
                    sink.Error(report);
                    status = 1;
                    break;
            }
        } catch (const std::exception& e) {
            sink.Error(e.what());
            status = 1;
        }
    }
    if (finished == 0 && status == 0) std::cout << "no save was cut short\n";
    return status;
}

int Set(const std::vector<std::string>& args, const THistory* history) {
    cli::TSetOptions options;
    std::vector<std::string> files;
    const std::string error = cli::ParseSetOptions(args, options, files);
    if (options.Help) {
        std::cout << cli::kSetUsage;
        return 0;
    }
    if (!error.empty()) {
        std::cerr << "velmar-cli: " << error << "\n" << cli::kSetUsage;
        return 2;
    }
    // Every picture and lyrics file is read before the first MP3 file is touched.
    if (const std::string failed = cli::ReadSetFiles(options); !failed.empty()) {
        std::cerr << "velmar-cli: " << failed << "\n";
        return 1;
    }
    TFileChange change{cli::CommandLine("set", args),
                       "Set tags",
                       {files.begin(), files.end()},
                       [&options](const std::filesystem::path& f, TMessageSink& sink) {
                           return cli::SetTags(f.string(), options, sink);
                       }};
    return cli::ApplyPrinting(change, history);
}

int Check(const std::vector<std::string>& args) {
    cli::TCheckOptions options;
    const std::string error = cli::ParseCheckOptions(args, options);
    if (!error.empty()) return Usage(error);
    return cli::RunCheck(options);
}

int Run(const std::string& command, const std::vector<std::string>& args, const THistory* history);

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    int first = 1;
    const bool recorded = !(argc > first && std::string(argv[first]) == "--no-history");
    if (!recorded) ++first;
    if (argc <= first) return Usage("");
    const std::string command = argv[first];
    std::vector<std::string> args(argv + first + 1, argv + argc);
    // "-h" asks for help as "--help" does (a file named "-h" is given after "--").
    for (std::string& a : args) {
        if (a == "--") break;
        if (a == "-h") a = "--help";
    }
    THistory history;
    if (command == "undo") return cli::Undo(args, history);
    if (command == "redo") return cli::Redo(args, history);
    if (command == "history") return cli::History(args, history);
    return Run(command, args, recorded ? &history : nullptr);
}

namespace {

// The usage of the commands that have no --help of their own.
const std::map<std::string, const char*> kShortUsage = {
    {"info",
     "usage: velmar-cli info [--json] PATH...\n"
     "  Prints the stream facts and the tags of each file (folders are walked), as a block\n"
     "  of text or one JSON record a line.\n"},
    {"check",
     "usage: velmar-cli check [--verbose | --json] [--report FILE] PATH...\n"
     "  Walks every MPEG frame of each file and prints OK, DAMAGED or FAILED with the path;\n"
     "  --verbose the whole report, --json a record a file; --report writes it to FILE too.\n"},
    {"recover",
     "usage: velmar-cli recover PATH...\n"
     "  Finishes the saves of the files that were cut short.\n"},
};

int Run(const std::string& command, const std::vector<std::string>& args, const THistory* history) {
    if (const auto usage = kShortUsage.find(command);
        usage != kShortUsage.end() && std::find(args.begin(), args.end(), "--help") != args.end()) {
        std::cout << usage->second;
        return 0;
    }
    if (command == "info") return Info(args);
    if (command == "set") return Set(args, history);
    if (command == "check") return Check(args);
    if (command == "rename") return cli::Rename(args, history);
    if (command == "formats") return cli::Formats(args);
    if (command == "fill") return cli::Fill(args, history);
    if (command == "list") return cli::List(args);
    if (command == "match") return cli::Match(args);
    if (command == "wipe") return cli::Wipe(args, history);
    if (command == "pictures") return cli::Pictures(args);
    if (command == "recover") return Recover(args);
    if (command == "--version") {
        std::cout << "velmar-cli " << VersionText() << "\n";
        return 0;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    return Usage("unknown command " + command);
}

}  // namespace
