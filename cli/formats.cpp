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
#include "say.h"

namespace velmar::cli {

namespace fs = std::filesystem;

namespace {

const char* const kRenameUsage =
    "usage: velmar-cli rename (--format NAME | --mask MASK) [--to ROOT] [--remove-empty]\n"
    "         [--dry-run] [--data DIR] PATH...\n"
    "  Renames each file from its tags by an output format of mode \"Rename\" (or a mask\n"
    "  given here), keeping its extension. Tag values that hold \"/\", \"\\\",\n"
    "  \".\" or \"..\" have them replaced by \"-\"; a \"/\" in the mask puts the file into\n"
    "  a sub-folder of its folder, made when it is not there (never through a link).\n"
    "  --to ROOT places the new names under ROOT instead of each file's folder (ROOT is\n"
    "  made when it is not there); a file moved to another file system is copied, checked\n"
    "  byte for byte and only then removed. --remove-empty then removes the folders the\n"
    "  moves left empty: each file's folder, and its parents up to the folder named on\n"
    "  the command line that it was found in (kept itself); nothing else is removed.\n"
    "  Files that take each other's names (a chain, a swap) move in an order that works,\n"
    "  through a hidden temporary name where they go round. A file is never renamed over\n"
    "  another file: a name that is taken, given to two files, empty, without text from\n"
    "  the tags, too long for the file system, or in a folder that is a link or a file is\n"
    "  reported with its reason before anything moves, and that file stays where it is.\n"
    "  Prints \"OLD -> NEW\" for each file; --dry-run moves nothing and reports the same.\n";

const char* const kFillUsage =
    "usage: velmar-cli fill --mask MASK [--case] [--track-numbers] [--total N] [--artist T]\n"
    "         [--album T] [--genre G] [--year N] [--disc N/M] [--copyright T] [--encoded-by T]\n"
    "         [--encoder T] [--v1/--no-v1] [--v2/--no-v2] [--dry-run] PATH...\n"
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

namespace {

int Formats(const TArgs& args, THistory*) {
    if (!args.Operands.empty()) return args.UsageError("formats takes no paths");
    const std::string data = args.Value("--data").value_or("");
    std::string mode = kModeRename;
    if (const auto given = args.Value("--mode")) {
        if (*given == "fill")
            mode = kModeFilenameToTag;
        else if (*given == "list")
            mode = kModeMakeList;
        else if (*given != "rename")
            return args.UsageError("--mode takes rename, fill or list, not \"" + *given + "\"");
    }
    std::error_code ec;
    if (!data.empty() && !fs::is_directory(data, ec))
        return args.UsageError("--data takes a DATA folder, and \"" + data + "\" is not a folder");
    for (const std::string& n : DataFolders(data).Names(fs::path("Outputs") / mode, ListFormats))
        std::cout << Printable(n) << "\n";
    return 0;
}

int Rename(const TArgs& args, THistory* history) {
    const std::string data = args.Value("--data").value_or(""), formatName = args.Value("--format").value_or("");
    const bool dryRun = args.Has("--dry-run"), haveMask = args.Has("--mask");
    std::string mask = args.Value("--mask").value_or("");
    if (args.Operands.empty()) return args.UsageError("rename needs at least one file");
    const std::optional<std::string> to = args.Value("--to");
    if (to && to->empty()) return args.UsageError("--to needs a folder");
    // The folders named on the command line, where removing the folders left empty
    // stops: each with the first of the files found in it (the files up to the next
    // entry); a file named itself has none, and files named one after another share
    // one entry.
    std::vector<std::pair<size_t, std::string>> stops;
    const TPathList files = args.PathList([&stops](const std::string& given, size_t first, bool folder) {
        if (folder || (!stops.empty() && !stops.back().second.empty()))
            stops.emplace_back(first, folder ? given : std::string());
    });
    if (haveMask == args.Has("--format")) return args.UsageError("rename takes either --format or --mask");
    if (haveMask && mask.size() > kMaxMaskLength)
        return args.UsageError("a mask holds at most " + std::to_string(kMaxMaskLength) + " characters");

    TSayingSink sink;
    TTags format;
    if (!haveMask) {
        const fs::path folder = DataFolders(data).FolderWith(fs::path("Outputs") / kModeRename, formatName);
        const auto loaded = LoadFormat(folder, formatName, sink);
        if (!loaded) return 2;
        format = *loaded;
        mask = format.User;
    }
    // The dry run reports the plan; the real run carries out that same plan.
    const TRenamePlanList plans = PlanRenameList(files, mask, format, sink, true, to.value_or(""));
    int status = 0;
    auto report = [&status](std::string_view from, std::string_view newName, std::string_view problem) {
        if (!problem.empty()) {
            std::cerr << "velmar-cli: " << Printable(from) << ": not renamed to \""
                      << Printable(fs::path(newName).filename().string()) << "\": " << Printable(problem) << "\n";
            status = 1;
        } else {
            std::cout << Printable(from) << " -> " << Printable(newName) << "\n";
        }
    };
    if (dryRun) {
        for (size_t i = 0; i < plans.size(); ++i) report(plans.From(i), plans.To(i), plans.Problem(i));
        return status;
    }
    const std::vector<TRenamePlan> all = plans.All();
    const std::vector<TRenameResult> results = ApplyRenames(all, CommandLine("rename", args.Given), Recording(history));
    for (size_t i = 0; i < all.size(); ++i) report(all[i].From.native(), all[i].To.native(), results[i].Problem);
    if (!args.Has("--remove-empty")) return status;
    std::vector<fs::path> stopOf(all.size());
    for (size_t k = 0; k < stops.size(); ++k)
        for (size_t i = stops[k].first; i < (k + 1 < stops.size() ? stops[k + 1].first : all.size()); ++i)
            stopOf[i] = stops[k].second;
    const TFolderRemoval removal = RemoveEmptyFolders(FoldersLeft(all, results, stopOf));
    for (const fs::path& folder : removal.Removed) std::cout << "removed " << Printable(folder.string()) << "\n";
    for (const auto& [folder, why] : removal.Failed) {
        std::cerr << "velmar-cli: " << Printable(folder.string()) << ": not removed: " << Printable(why) << "\n";
        status = 1;
    }
    return status;
}


// Takes the options of `fill` in; returns a usage error, else empty.
std::string ParseFillOptions(const TArgs& args, std::string& mask, TCommonValues& common, TFillOptions& options) {
    for (const auto& [a, v] : args.Options) {
        int number = 0, total = -1;
        if (a == "--case")
            options.CaseConvert = true;
        else if (a == "--track-numbers")
            options.GenerateTrackNumbers = true;
        else if (a == "--v1" || a == "--no-v1")
            options.SaveID3v1 = a == "--v1";
        else if (a == "--v2" || a == "--no-v2")
            options.SaveID3v2 = a == "--v2";
        else if (a == "--mask")
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
            if (!TTagEdit::ParseNumberPair(v, number, total) || total < 0) return "--disc takes N/M, not \"" + v + "\"";
            common.Disc = std::pair{std::min(number, total), total};  // the current disc is at most the total
        }
    }
    if (mask.empty()) return "fill needs --mask";
    if (mask.size() > kMaxMaskLength) return "a mask holds at most " + std::to_string(kMaxMaskLength) + " characters";
    if (args.Operands.empty()) return "fill needs at least one file";
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


int Fill(const TArgs& args, THistory* history) {
    std::string mask;
    TCommonValues common;
    TFillOptions options;
    options.CaseConvert = false;
    if (const std::string error = ParseFillOptions(args, mask, common, options); !error.empty())
        return args.UsageError(error);
    const bool dryRun = args.Has("--dry-run");
    const std::vector<fs::path> files = args.Paths();
    // Each file by its own name and extension; a file whose name does not fit is left out.
    std::vector<fs::path> unfit;
    std::map<fs::path, TFillValues> fitting;
    TFileChange change{CommandLine("fill", args.Given), "Fill tags from names", {}, {}};
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

}  // namespace

const TCommand kRename{
    "rename",
    kRenameUsage,
    {{"--format", true}, {"--mask", true}, {"--data", true}, {"--to", true}, {"--remove-empty"}, {"--dry-run"}},
    Rename};
const TCommand kFill{"fill",
                     kFillUsage,
                     {{"--mask", true},
                      {"--case"},
                      {"--track-numbers"},
                      {"--total", true},
                      {"--artist", true},
                      {"--album", true},
                      {"--genre", true},
                      {"--year", true},
                      {"--disc", true},
                      {"--copyright", true},
                      {"--encoded-by", true},
                      {"--encoder", true},
                      {"--v1"},
                      {"--no-v1"},
                      {"--v2"},
                      {"--no-v2"},
                      {"--dry-run"}},
                     Fill};
const TCommand kFormats{"formats", kFormatsUsage, {{"--mode", true}, {"--data", true}}, Formats};

}  // namespace velmar::cli
