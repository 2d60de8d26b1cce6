#include "lists.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <utility>

#include "batch/makelist.h"
#include "batch/matchtotime.h"
#include "batch/wipetags.h"
#include "file/filereader.h"
#include "file/filescan.h"
#include "formats.h"
#include "history.h"
#include "report.h"
#include "say.h"

namespace velmar::cli {

namespace fs = std::filesystem;

namespace {

const char* const kListUsage =
    "usage: velmar-cli list (--list NAME | [--top FILE] [--main FILE] [--end FILE])\n"
    "         [--format NAME] [--data DIR] -o REPORT PATH...\n"
    "  Writes a report of the files in the order given (folders are scanned as info scans\n"
    "  them): the top template, the main template once for each file with its tokens\n"
    "  (%00..%12, as rename takes them) replaced by the file's values, then the end\n"
    "  template. --list takes the predefined list DATA/Lists/NAME/ (its top.txt, main.txt\n"
    "  and end.txt); --top, --main and --end take template files, and one not given is\n"
    "  empty. --format takes the output format DATA/Outputs/MakeList/NAME: its prefixes\n"
    "  and suffixes, and its text for empty values; without it values stand as they are\n"
    "  and empty values stay empty. In a REPORT ending in .htm or .html the values have\n"
    "  & < > \" as character references; in one ending in .csv a value holding a comma, a\n"
    "  quote or a line break is quoted. The report is UTF-8 with CR LF line ends, written\n"
    "  beside REPORT and then renamed over it. Prints \"REPORT: N file(s)\". A file that\n"
    "  cannot be read is reported and gets empty values (exit status 1).\n";

const char* const kMatchUsage =
    "usage: velmar-cli match --minutes N PATH...\n"
    "  Walks the files in the order given (folders are scanned as info scans them) and\n"
    "  chooses each file whose length keeps the total strictly below N minutes; a file\n"
    "  that does not fit is passed over and the walk goes on. Prints the chosen files,\n"
    "  one a line, then \"A total time of mm:ss was selected.\". A file that cannot be\n"
    "  read is reported and not chosen (exit status 1).\n";

const char* const kWipeUsage =
    "usage: velmar-cli wipe [--v2] [--v1] [--lyrics3] [--dry-run] PATH...\n"
    "  Removes the chosen whole tags (at least one of --v2, --v1, --lyrics3) from each\n"
    "  file, keeping its other tags and every other byte. Prints \"FILE: removed ID3v2,\n"
    "  ID3v1\", or \"FILE: none of the chosen tags, left as it is\" for a file that is not\n"
    "  written at all. --dry-run prints \"FILE: would remove ...\" and changes nothing.\n";

// ---- list ----

struct TListOptions {
    std::optional<std::string> List, Format;
    std::array<std::optional<fs::path>, 3> Templates;  // top, main, end
    std::string Data;
    fs::path Report;
};

std::string ParseListOptions(const TArgs& args, TListOptions& o) {
    for (const auto& [a, v] : args.Options) {
        if (a == "--list")
            o.List = v;
        else if (a == "--top")
            o.Templates[0] = v;
        else if (a == "--main")
            o.Templates[1] = v;
        else if (a == "--end")
            o.Templates[2] = v;
        else if (a == "--format")
            o.Format = v;
        else if (a == "--data")
            o.Data = v;
        else
            o.Report = v;
    }
    const bool templates = std::any_of(o.Templates.begin(), o.Templates.end(), [](const auto& t) { return bool(t); });
    if (o.List.has_value() == templates) return "list takes either --list or template files (--top, --main, --end)";
    if (o.Report.empty()) return "list needs -o REPORT";
    if (args.Operands.empty()) return "list needs at least one path";
    return {};
}

// The predefined list or the template files; nothing after reporting one that is not there.
std::optional<TListTemplates> LoadTemplates(const TListOptions& o, const TDataFolders& data) {
    if (o.List) {
        const std::vector<std::string> names = data.Names("Lists", ListNames);
        if (std::find(names.begin(), names.end(), *o.List) == names.end()) {
            Say("", "no list \"" + *o.List + "\" in " + data.FolderWith("Lists", *o.List).string());
            return std::nullopt;
        }
        return LoadList(data.FolderWith("Lists", *o.List), *o.List);
    }
    TListTemplates list;
    std::vector<std::string>* parts[] = {&list.Top, &list.Main, &list.End};
    for (size_t k = 0; k < o.Templates.size(); ++k) {
        if (!o.Templates[k]) continue;
        const fs::path& file = *o.Templates[k];
        std::error_code ec;
        if (!fs::is_regular_file(file, ec) || !std::ifstream(file)) {
            Say(file.string(), "the template cannot be read");
            return std::nullopt;
        }
        *parts[k] = ReadTemplate(file);
    }
    return list;
}

// Names the file each message of making a list belongs to: the files are read in
// order and each one read is counted, so a message comes from the file after the
// ones counted, or (once all are) from writing the report, whose message names it.
class TListSink : public TMessageSink {
public:
    explicit TListSink(const TPathList& files) : Files(files) {}
    void Error(const std::string& text) override {
        const bool aboutFile = Read < Files.size();
        Say(aboutFile ? Files[Read] : "", text);
        FileMessages = FileMessages || aboutFile;
    }
    size_t Read = 0;
    bool FileMessages = false;

private:
    const TPathList& Files;
};

// ---- match ----

// A positive whole number of minutes whose seconds fit in 64 bits, or nothing.
std::optional<int64_t> ParseMinutes(const std::string& text) {
    int64_t n = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, n);
    if (text.empty() || ec != std::errc() || at != end || n <= 0 || n > std::numeric_limits<int64_t>::max() / 60)
        return std::nullopt;
    return n;
}

// ---- wipe ----

// "ID3v2, Lyrics3, ID3v1": the chosen tags in the order they stand in a file.
std::string TagNames(TWipeChoice c) {
    std::string out;
    for (const auto& [on, name] :
         {std::pair{c.ID3v2, "ID3v2"}, std::pair{c.Lyrics3, "Lyrics3"}, std::pair{c.ID3v1, "ID3v1"}})
        if (on) out += (out.empty() ? "" : ", ") + std::string(name);
    return out;
}

const char* const kNoneOfThem = ": none of the chosen tags, left as it is";

bool DryWipe(const fs::path& file, TWipeChoice choice) {
    TCollectingSink sink;
    const std::optional<TWipeChoice> found = TagsToWipe(file, choice, sink);
    for (const std::string& m : sink.Messages) Say(file.string(), m);
    if (!found) return false;
    std::cout << Printable(file.string()) << (found->Any() ? ": would remove " + TagNames(*found) : kNoneOfThem)
              << "\n";
    return true;
}

bool WipeFile(const fs::path& file, TWipeChoice choice, TMessageSink& sink) {
    TWipeChoice removed;
    switch (WipeTags(file, choice, sink, &removed)) {
        case TWipeResult::Wiped:
            std::cout << Printable(file.string()) << ": removed " << TagNames(removed) << "\n";
            return true;
        case TWipeResult::Untouched: std::cout << Printable(file.string()) << kNoneOfThem << "\n"; return true;
        case TWipeResult::Failed: break;
    }
    return false;
}

int List(const TArgs& args, THistory*) {
    TListOptions o;
    if (const std::string error = ParseListOptions(args, o); !error.empty()) return args.UsageError(error);
    const TDataFolders data = DataFolders(o.Data);
    const std::optional<TListTemplates> list = LoadTemplates(o, data);
    if (!list) return 2;
    TTags format;  // none: values as they are, empty values empty
    if (o.Format) {
        TSayingSink sink("");
        const std::optional<TTags> loaded =
            LoadFormat(data.FolderWith(fs::path("Outputs") / kModeMakeList, *o.Format), *o.Format, sink);
        if (!loaded) return 2;
        format = *loaded;
    }
    const TPathList files = args.PathList();
    TListSink sink(files);
    const bool written = MakeListOfPaths(*list, files, format, o.Report, sink, [&sink](size_t read) {
        sink.Read = read;
        return true;
    });
    if (!written) return 1;
    std::cout << Printable(o.Report.string()) << ": " << files.size() << " file(s)\n";
    return sink.FileMessages ? 1 : 0;
}

int Match(const TArgs& args, THistory*) {
    const std::optional<std::string> given = args.Value("--minutes");
    if (!given) return args.UsageError("match needs --minutes");
    const std::optional<int64_t> minutes = ParseMinutes(*given);
    if (!minutes) return args.UsageError("--minutes takes a positive whole number, not \"" + *given + "\"");
    if (args.Operands.empty()) return args.UsageError("match needs at least one path");
    const TPathList files = args.PathList();
    std::vector<std::optional<int64_t>> lengths;
    lengths.reserve(files.size());
    int status = 0;
    ReadFilesInOrder<std::optional<int64_t>>(
        files, [](const fs::path& file, TCollectingSink& sink) { return PlaySecondsOf(file, sink); },
        [&](size_t i, TFileRead<std::optional<int64_t>>&& read) {
            for (const std::string& m : read.Messages) Say(files[i], m);
            lengths.push_back(read.Value);
            if (!read.Value) status = 1;
            return true;
        });
    const TMatchToTime match = MatchToTime(lengths, *minutes * 60);
    for (size_t i = 0; i < files.size(); ++i)
        if (match.Chosen[i]) std::cout << Printable(files[i]) << "\n";
    std::cout << MatchTotalText(match.TotalSeconds) << "\n";
    return status;
}

int Wipe(const TArgs& args, THistory* history) {
    const TWipeChoice choice{.ID3v2 = args.Has("--v2"), .ID3v1 = args.Has("--v1"), .Lyrics3 = args.Has("--lyrics3")};
    const bool dryRun = args.Has("--dry-run");
    if (!choice.Any()) return args.UsageError("wipe needs at least one of --v2, --v1 and --lyrics3");
    if (args.Operands.empty()) return args.UsageError("wipe needs at least one file");
    const std::vector<fs::path> files = args.Paths();
    if (!dryRun) {
        const TFileChange change{
            CommandLine("wipe", args.Given), "Wipe tags", files,
            [choice](const fs::path& file, TMessageSink& sink) { return WipeFile(file, choice, sink); }};
        return ApplyPrinting(change, history);
    }
    int status = 0;
    for (const fs::path& file : files)
        if (!DryWipe(file, choice)) status = 1;
    return status;
}

}  // namespace

const TCommand kList{"list",
                     kListUsage,
                     {{"--list", true},
                      {"--top", true},
                      {"--main", true},
                      {"--end", true},
                      {"--format", true},
                      {"--data", true},
                      {"-o", true, "--output"}},
                     List};
const TCommand kMatch{"match", kMatchUsage, {{"--minutes", true}}, Match};
const TCommand kWipe{"wipe", kWipeUsage, {{"--v2"}, {"--v1"}, {"--lyrics3"}, {"--dry-run"}}, Wipe};

}  // namespace velmar::cli
