// velmar-cli: Velmar's core from a shell.
#include <malloc.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "args.h"
#include "base/version.h"
#include "check.h"
#include "exchange.h"
#include "file/filereader.h"
#include "file/filescan.h"
#include "file/inplace.h"
#include "file/mp3object.h"
#include "formats.h"
#include "history.h"
#include "lists.h"
#include "pictures.h"
#include "repair.h"
#include "report.h"
#include "say.h"
#include "settags.h"

namespace {

using namespace velmar;

const char* const kCutShort =
    "a save of this file was cut short: the next change of the file finishes it, or velmar-cli recover";

const char* const kUsage =
    "usage: velmar-cli info [--json] PATH...\n"
    "       velmar-cli set [options] PATH...   (velmar-cli set --help)\n"
    "       velmar-cli check [--verbose | --json] [--report FILE] PATH...\n"
    "       velmar-cli repair [--dry-run] PATH...\n"
    "       velmar-cli rename (--format NAME | --mask MASK) [--to ROOT] [--remove-empty] [--dry-run]\n"
    "                         [--data DIR] PATH...\n"
    "       velmar-cli fill --mask MASK [options] PATH...   (velmar-cli fill --help)\n"
    "       velmar-cli formats [--mode rename|fill|list] [--data DIR]\n"
    "       velmar-cli list (--list NAME | --top/--main/--end FILE) [--format NAME] -o REPORT PATH...\n"
    "       velmar-cli match --minutes N PATH...\n"
    "       velmar-cli wipe [--v2] [--v1] [--lyrics3] [--dry-run] PATH...\n"
    "       velmar-cli pictures FILE [-o DIR]\n"
    "       velmar-cli copy --from FILE [--fields LIST] PATH...\n"
    "       velmar-cli export (--csv | --json) [-o SHEET] PATH...\n"
    "       velmar-cli import SHEET\n"
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
    "Every command: a PATH is a file or a folder (its audio files, sub-folders too);\n"
    "\"-\" reads the paths from standard input, one a line (-0: NUL-separated, as\n"
    "find -print0 gives); \"--\" ends the options; an option takes its value as\n"
    "--opt VALUE or --opt=VALUE; COMMAND --help (or -h) prints the command's usage.\n"
    "\n"
    "copy takes the fields, and export and import carry them: title, artist, album,\n"
    "album_artist, year, track, track_total, disc, disc_total, genre, comment,\n"
    "composer, bpm (and pictures, for copy).\n"
    "\n"
    "set, fill, rename, wipe, copy, import and repair are recorded in the history of changes,\n"
    "so that undo can take them back; --no-history (before the command) leaves a\n"
    "change out of it.\n";

int Usage(const std::string& error) {
    if (!error.empty()) std::cerr << "velmar-cli: " << error << "\n";
    std::cerr << kUsage;
    return 2;
}


int Info(const cli::TArgs& args, THistory*) {
    const bool json = args.Has("--json");
    if (args.Operands.empty()) return args.UsageError("info needs at least one path");
    // The files are read and their records made on the thread pool, printed here in order.
    struct TRecord {
        bool Loaded = false;
        std::string Text;
    };
    const TPathList files = args.PathList();
    int status = 0;
    // Records go out in pieces of about 64 KB, not a call each.
    constexpr size_t kOutPiece = 64 * 1024;
    std::string pending;
    auto writePending = [&pending] {
        std::cout.write(pending.data(), std::streamsize(pending.size())).flush();
        pending.clear();
    };
    ReadItemsInOrder<TRecord>(
        files.size(),
        [json, &files](size_t i, TCollectingSink& sink) {
            TMP3Object file(sink);
            TRecord record;
            record.Loaded = file.LoadFile(std::filesystem::path(files[i]), false);
            const std::filesystem::path& path = file.Name();
            // Reading never finishes a save that was cut short: it only says so. A journal
            // beside the file is looked for unless the folder's listing showed none (a
            // save that began since is under way, not cut short).
            const bool link = file.ReadThroughLink;
            if (HasCutShortSave(link ? WriteTargetOf(path) : path, link || !files.ListedBare(i))) sink.Error(kCutShort);
            record.Text = json ? cli::JsonRecord(file, path.native(), sink.Messages)
                               : cli::TextRecord(file, path.native(), sink.Messages);
            return record;
        },
        [&](size_t i, TFileRead<TRecord>&& read) {
            if (read.Failed) {
                // The file's messages go to standard error, and its JSON record says why.
                if (json) pending.append(cli::UnreadJsonRecord(files[i], read.Messages)).push_back('\n');
                writePending();
                for (const std::string& m : read.Messages) cli::Say(files[i], m);
                status = 1;
                return true;
            }
            pending.append(read.Value.Text).push_back('\n');
            if (!read.Value.Loaded) {
                // The record holds why; standard error says it too, for a script that reads only that.
                writePending();
                for (const std::string& m : read.Messages) cli::Say(files[i], m);
                status = 1;
            } else if (pending.size() >= kOutPiece) {
                writePending();
            }
            return true;
        },
        [&] {
            writePending();  // what is read so far shows while a slow file is read
            return true;
        });
    writePending();
    return status;
}

// Finishes the saves of the files (or the files of folders) that were cut short.
int Recover(const cli::TArgs& args, THistory*) {
    if (args.Operands.empty()) return args.UsageError("recover needs at least one path");
    int status = 0;
    size_t finished = 0;
    for (const std::filesystem::path& file : args.Paths()) {
        cli::TSayingSink sink(file.string());
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

int Set(const cli::TArgs& args, THistory* history) {
    cli::TSetOptions options;
    if (const std::string error = cli::ParseSetOptions(args, options); !error.empty()) return args.UsageError(error);
    const std::vector<std::filesystem::path> files = args.Paths();
    // Every picture and lyrics file is read before the first MP3 file is touched.
    if (const std::string failed = cli::ReadSetFiles(options); !failed.empty()) {
        std::cerr << "velmar-cli: " << failed << "\n";
        return 1;
    }
    TFileChange change{cli::CommandLine("set", args.Given),
                       "Set tags",
                       files,
                       [&options](const std::filesystem::path& f, TMessageSink& sink) {
                           return cli::SetTags(f.string(), options, sink);
                       }};
    return cli::ApplyPrinting(change, history);
}

int Check(const cli::TArgs& args, THistory*) {
    cli::TCheckOptions options;
    if (const std::string error = cli::ParseCheckOptions(args, options); !error.empty()) return args.UsageError(error);
    return cli::RunCheck(options);
}

const cli::TCommand kInfo{"info",
                          "usage: velmar-cli info [--json] PATH...\n"
                          "  Prints the stream facts and the tags of each file (folders are walked), as a block\n"
                          "  of text or one JSON record a line.\n",
                          {{"--json"}},
                          Info};
const cli::TCommand kCheck{
    "check",
    "usage: velmar-cli check [--verbose | --json] [--report FILE] PATH...\n"
    "  Walks every MPEG frame of each file and prints OK, DAMAGED or FAILED with the path;\n"
    "  --verbose the whole report, --json a record a file; --report writes it to FILE too.\n",
    {{"--verbose"}, {"--json"}, {"--report", true}},
    Check};
const cli::TCommand kRecover{"recover",
                             "usage: velmar-cli recover PATH...\n"
                             "  Finishes the saves of the files that were cut short.\n",
                             {},
                             Recover};
const cli::TCommand kSet{"set", cli::kSetUsage, cli::SetOptionSpecs(), Set};

const cli::TCommand* const kCommands[] = {&kInfo,          &kSet,           &kCheck,        &cli::kRename,
                                          &cli::kFill,     &cli::kFormats,  &cli::kList,    &cli::kMatch,
                                          &cli::kWipe,     &cli::kPictures, &kRecover,      &cli::kUndo,
                                          &cli::kRedo,     &cli::kHistory,  &cli::kCopy,    &cli::kExport,
                                          &cli::kImport,   &cli::kRepair};

}  // namespace

int main(int argc, char** argv) {
    // A file with a picture costs buffers of its tag's size that come and go: they are
    // taken from the heap and kept there for the next file, not mapped and unmapped (and
    // their pages faulted in) every time.
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    std::ios::sync_with_stdio(false);
    int first = 1;
    const bool recorded = !(argc > first && std::string(argv[first]) == "--no-history");
    if (!recorded) ++first;
    if (argc <= first) return Usage("");
    const std::string name = argv[first];
    if (name == "--version") {
        std::cout << "velmar-cli " << VersionText() << "\n";
        return 0;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << kUsage;
        return 0;
    }
    for (const cli::TCommand* command : kCommands) {
        if (command->Name != name) continue;
        THistory history;
        return cli::RunCommand(*command, {argv + first + 1, argv + argc},
                               recorded || command->History ? &history : nullptr);
    }
    return Usage("unknown command " + name);
}
