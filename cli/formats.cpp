#include "formats.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

#include "batch/filltags.h"
#include "batch/rename.h"
#include "edit/tagedit.h"
#include "file/filescan.h"
#include "history.h"
#include "report.h"

namespace velmar::cli {

namespace fs = std::filesystem;

namespace {

const char* const kRenameUsage =
    "usage: velmar-cli rename (--format NAME | --mask MASK) [--dry-run] [--data DIR] FILE...\n"
    "  Renames each file from its tags by an output format of mode \"Rename\" (or a mask\n"
    "  given here), keeping its extension. Tag values that hold \"/\", \"\\\",\n"
    "  \".\" or \"..\" have them replaced by \"-\"; a \"/\" in the mask puts the file into\n"
    "  a sub-folder of its folder, made when it is not there (never through a link).\n"
    "  Files that take each other's names (a chain, a swap) move in an order that works,\n"
    "  through a hidden temporary name where they go round. A file is never renamed over\n"
    "  another file: a name that is taken, given to two files, empty, without text from\n"
    "  the tags, too long for the file system, or in a folder that is a link or a file is\n"
    "  reported with its reason before anything moves, and that file stays where it is.\n"
    "  Prints \"OLD -> NEW\" for each file; --dry-run moves nothing and reports the same.\n";

const char* const kFillUsage =
    "usage: velmar-cli fill --mask MASK [--case] [--track-numbers] [--total N] [--artist T]\n"
    "         [--album T] [--genre G] [--year N] [--disc N/M] [--copyright T] [--encoded-by T]\n"
    "         [--encoder T] [--v1/--no-v1] [--v2/--no-v2] [--dry-run] FILE...\n"
    "  Splits each file's name (without folder and extension) by the mask into artist\n"
    "  (%00), title (%01), sub-title (%02), remix (%03), comment (%04), album (%05) and\n"
    "  track (%10), adds the values given for all files, and writes them into the tags\n"
    "  (ID3v2 and ID3v1 unless turned off; a tag turned off stays as it is). Only what\n"
    "  the name or an option brings is written: every other value, frame and tag of the\n"
    "  file stays, and a track 0 is never written. A file whose name does not fit the\n"
    "  mask is left as it is and named at the end (exit status 1). --case capitalises the\n"
    "  words taken from the names; --track-numbers numbers the files in the order given,\n"
    "  out of the number of files; --total sets the total of the track numbers, which\n"
    "  else stays the file's own. An --artist or --album given here wins over the one in\n"
    "  the names. --dry-run prints the values each file would get and writes nothing.\n";

const char* const kFormatsUsage =
    "usage: velmar-cli formats [--mode rename|fill|list] [--data DIR]\n"
    "  Prints the names of the output formats of a mode (default rename), sorted.\n";

int UsageError(const std::string& error, const char* usage) {
    std::cerr << "velmar-cli: " << Printable(error) << "\n" << usage;
    return 2;
}

class TFileSink : public TMessageSink {
public:
    void Error(const std::string& text) override { std::cerr << "velmar-cli: " << Printable(text) << "\n"; }
};

}  // namespace

TDataFolders DataFolders(const std::string& given) {
    if (!given.empty()) return TDataFolders({given});
    fs::path shipped;
    if (const char* env = std::getenv("VELMAR_DATA"); env && *env) shipped = env;
    // Installed: PREFIX/bin/velmar-cli reads PREFIX/share/velmar.
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (shipped.empty() && !ec) {
        const fs::path installed = exe.parent_path().parent_path() / "share" / "velmar";
        if (fs::is_directory(installed, ec)) shipped = installed;
    }
#ifdef VELMAR_SOURCE_DATA
    if (shipped.empty()) shipped = VELMAR_SOURCE_DATA;
#endif
    return TDataFolders::UserThen(shipped.empty() ? fs::path("DATA") : shipped);
}

int Formats(const std::vector<std::string>& args) {
    std::string data, mode = kModeRename;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help") {
            std::cout << kFormatsUsage;
            return 0;
        }
        if ((a == "--mode" || a == "--data") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--data")
                data = v;
            else if (v == "rename")
                mode = kModeRename;
            else if (v == "fill")
                mode = kModeFilenameToTag;
            else if (v == "list")
                mode = kModeMakeList;
            else
                return UsageError("--mode takes rename, fill or list, not \"" + v + "\"", kFormatsUsage);
        } else {
            return UsageError("unknown option " + a, kFormatsUsage);
        }
    }
    std::error_code ec;
    if (!data.empty() && !fs::is_directory(data, ec))
        return UsageError("--data takes a DATA folder, and \"" + data + "\" is not a folder", kFormatsUsage);
    for (const std::string& n : DataFolders(data).Names(fs::path("Outputs") / mode, ListFormats))
        std::cout << Printable(n) << "\n";
    return 0;
}

int Rename(const std::vector<std::string>& args, const THistory* history) {
    std::string data, formatName, mask;
    bool dryRun = false, haveMask = false;
    std::vector<fs::path> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help") {
            std::cout << kRenameUsage;
            return 0;
        }
        if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--format" || a == "--mask" || a == "--data") {
            if (i + 1 >= args.size()) return UsageError(a + " needs a value", kRenameUsage);
            const std::string& v = args[++i];
            if (a == "--format")
                formatName = v;
            else if (a == "--data")
                data = v;
            else
                mask = v;
            haveMask = haveMask || a == "--mask";
        } else if (a.starts_with("--")) {
            return UsageError("unknown option " + a, kRenameUsage);
        } else {
            files.emplace_back(a);
        }
    }
    if (haveMask == !formatName.empty()) return UsageError("rename takes either --format or --mask", kRenameUsage);
    if (files.empty()) return UsageError("rename needs at least one file", kRenameUsage);
    if (haveMask && mask.size() > kMaxMaskLength)
        return UsageError("a mask holds at most " + std::to_string(kMaxMaskLength) + " characters", kRenameUsage);

    TFileSink sink;
    TTags format;
    if (!haveMask) {
        const fs::path folder = DataFolders(data).FolderWith(fs::path("Outputs") / kModeRename, formatName);
        const auto loaded = LoadFormat(folder, formatName, sink);
        if (!loaded) return 2;
        format = *loaded;
        mask = format.User;
    }
    // The dry run reports the plan; the real run carries out that same plan.
    const std::vector<TRenamePlan> plans = PlanRenames(files, mask, format, sink, true);
    std::vector<TRenameResult> results;
    if (dryRun)
        for (const TRenamePlan& plan : plans) results.push_back({false, plan.From, plan.Problem});
    else
        results = ApplyRenames(plans, CommandLine("rename", args), Recording(history));
    int status = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        if (!results[i].Problem.empty()) {
            std::cerr << "velmar-cli: " << Printable(plans[i].From.string()) << ": not renamed to \""
                      << Printable(plans[i].To.filename().string()) << "\": " << Printable(results[i].Problem) << "\n";
            status = 1;
            continue;
        }
        std::cout << Printable(plans[i].From.string()) << " -> " << Printable(plans[i].To.string()) << "\n";
    }
    return status;
}

namespace {

// Parses the options of `fill`; returns a usage error, else empty.
std::string ParseFillOptions(const std::vector<std::string>& args, std::string& mask, TCommonValues& common,
                             TFillOptions& options, bool& dryRun, std::vector<fs::path>& files) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--case")
            options.CaseConvert = true;
        else if (a == "--track-numbers")
            options.GenerateTrackNumbers = true;
        else if (a == "--v1" || a == "--no-v1")
            options.SaveID3v1 = a == "--v1";
        else if (a == "--v2" || a == "--no-v2")
            options.SaveID3v2 = a == "--v2";
        else if (a == "--dry-run")
            dryRun = true;
        else if (a.starts_with("--")) {
            if (i + 1 >= args.size()) return a + " needs a value";
            const std::string& v = args[++i];
            int number = 0, total = -1;
            if (a == "--mask")
                mask = v;
            else if (a == "--total") {
                if (!TTagEdit::ParseNumberPair(v, number, total) || total >= 0 || number < 1 || number > 9999)
                    return "--total takes a number from 1 to 9999, not \"" + v + "\"";
                common.TrackTotal = number;
            } else if (a == "--artist")
                common.Artist = v;
            else if (a == "--album")
                common.Album = v;
            else if (a == "--copyright")
                common.Copyright = v;
            else if (a == "--encoded-by")
                common.EncodedBy = v;
            else if (a == "--encoder")
                common.EncodedUsing = v;
            else if (a == "--genre") {
                if (GenreIndexOf(v) < 0) return "--genre takes a name of the genre list, not \"" + v + "\"";
                common.Genre = v;
            } else if (a == "--year") {
                if (!TTagEdit::ParseNumberPair(v, number, total) || total >= 0 || number > 9999)
                    return "--year takes a number from 0 to 9999, not \"" + v + "\"";
                common.Year = number;
            } else if (a == "--disc") {
                if (!TTagEdit::ParseNumberPair(v, number, total) || total < 0)
                    return "--disc takes N/M, not \"" + v + "\"";
                common.Disc = std::pair{std::min(number, total), total};  // the current disc is at most the total
            } else {
                return "unknown option " + a;
            }
        } else {
            files.emplace_back(a);
        }
    }
    if (mask.empty()) return "fill needs --mask";
    if (mask.size() > kMaxMaskLength) return "a mask holds at most " + std::to_string(kMaxMaskLength) + " characters";
    if (files.empty()) return "fill needs at least one file";
    return {};
}

void PrintFillValues(const fs::path& file, const TFillValues& v) {
    std::cout << Printable(file.string()) << (v.Matched ? "" : "  (the name does not fit the mask: left as it is)")
              << "\n";
    if (!v.Matched) return;
    const std::pair<const char*, const std::string*> fields[] = {{"Track", &v.Track},
                                                                 {"Artist", &v.Artist},
                                                                 {"Title", &v.Title},
                                                                 {"Sub-Title", &v.SubTitle},
                                                                 {"Remix", &v.Remix},
                                                                 {"Comment", &v.Comment},
                                                                 {"Album", &v.Album},
                                                                 {"Genre", &v.Genre},
                                                                 {"Year", &v.Year},
                                                                 {"CD", &v.CD},
                                                                 {"Encoded By", &v.EncodedBy},
                                                                 {"Encoded Using", &v.EncodedUsing},
                                                                 {"Copyright", &v.Copyright}};
    for (const auto& [name, value] : fields)
        if (!value->empty()) std::cout << "  " << name << ": " << Printable(*value) << "\n";
}

}  // namespace

int Fill(const std::vector<std::string>& args, const THistory* history) {
    if (std::find(args.begin(), args.end(), "--help") != args.end()) {
        std::cout << kFillUsage;
        return 0;
    }
    std::string mask;
    TCommonValues common;
    TFillOptions options;
    options.CaseConvert = false;
    bool dryRun = false;
    std::vector<fs::path> files;
    const std::string error = ParseFillOptions(args, mask, common, options, dryRun, files);
    if (!error.empty()) return UsageError(error, kFillUsage);
    // Each file by its own name and extension; a file whose name does not fit is left out.
    std::vector<fs::path> unfit;
    std::map<fs::path, TFillValues> fitting;
    TFileChange change{CommandLine("fill", args), "Fill tags from names", {}, {}};
    for (size_t i = 0; i < files.size(); ++i) {
        const TFillValues values = FillValuesFor(files[i].stem().string(), mask, int(i + 1), common, options);
        if (dryRun) PrintFillValues(files[i], values);
        if (!values.Matched) {
            unfit.push_back(files[i]);
        } else if (!dryRun) {
            change.Files.push_back(files[i]);
            fitting.emplace(files[i], values);
        }
    }
    change.Write = [&](const fs::path& file, TMessageSink& sink) {
        return WriteFillValues(file, fitting.at(file), int(files.size()), common, options, sink);
    };
    int status = change.Files.empty() ? 0 : ApplyPrinting(change, history);
    if (!unfit.empty()) {
        std::cerr << "velmar-cli: " << unfit.size() << " file(s) left as they are (name does not fit its mask):\n";
        for (const fs::path& f : unfit) std::cerr << "  " << Printable(f.string()) << "\n";
        status = 1;
    }
    return status;
}

}  // namespace velmar::cli
