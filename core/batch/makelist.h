#pragma once
// Reports of many files from templates: the top and end templates are written as
// they stand, the main template once per file with the tokens of an output format.
// Predefined lists are folders of the lists folder holding "top.txt", "main.txt"
// and "end.txt".
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/outputformat.h"
#include "file/filescan.h"

namespace velmar {

struct TListTemplates {
    std::vector<std::string> Top, Main, End;  // one entry per line
};

// The names of the predefined lists: the folders of `listsFolder` whose names do not
// begin with ".", sorted by name.
std::vector<std::string> ListNames(const std::filesystem::path& listsFolder);
// A template file's lines (CR LF or LF); a missing file is an empty template.
std::vector<std::string> ReadTemplate(const std::filesystem::path& file);
TListTemplates LoadList(const std::filesystem::path& listsFolder, const std::string& name);
// Writes all three templates, empty ones included. False after reporting a failure.
bool SaveList(const std::filesystem::path& listsFolder, const std::string& name, const TListTemplates& list,
              TMessageSink& sink);

// The extension of the report a list makes, with its dot: by the list's name
// ("CSV" ".csv", "HTML Table" ".html", "Plain Text" ".txt"), else ".html" when its top
// template opens an HTML page or table; empty when nothing tells.
std::string ListExtension(const std::string& listName, const TListTemplates& list);
// `report` with the extension `extension` in place of one that a list makes (.csv,
// .htm, .html, .txt, any case); a name with another extension or none is the user's
// own and stays, as does everything with an empty `extension`.
std::string WithListExtension(const std::string& report, const std::string& extension);

// How values are written into a report: as they are, as HTML text, or as CSV fields.
enum class TReportKind { Plain, Html, Csv };
// By the report's extension: ".htm"/".html" and ".csv" in any case; others plain.
TReportKind ReportKindOf(const std::filesystem::path& report);
// "&", "<", ">" and '"' as character references (HTML); a value holding a comma, a
// quote or a line break in quotes with its quotes doubled (CSV).
std::string EscapeValue(const std::string& value, TReportKind kind);

// The report's lines for files whose values are given: top, each file's expanded
// main lines, end. Values are escaped for `kind`; the format's prefixes, suffixes and
// the text for empty values are template text and are not.
std::vector<std::string> ReportLines(const TListTemplates& list, const std::vector<TTokenValues>& files,
                                     const TTags& format, TReportKind kind);

// Reads the files, makes the report and writes it in UTF-8 with CR LF line ends,
// beside `report` first and then renamed over it, so a failure leaves an old report
// whole. Messages of reading the files go to `sink` (a file that cannot be read gets
// empty values); `progress` is told the files read and may cancel by returning false.
// False after reporting why nothing was written.
bool MakeList(const TListTemplates& list, const std::vector<std::filesystem::path>& files, const TTags& format,
              const std::filesystem::path& report, TMessageSink& sink,
              const std::function<bool(size_t)>& progress = {});
// The same for a list of paths (the files' lines are written as they are read).
bool MakeListOfPaths(const TListTemplates& list, const TPathList& files, const TTags& format,
                     const std::filesystem::path& report, TMessageSink& sink,
                     const std::function<bool(size_t)>& progress = {});

// Writes a text file beside `target` and renames it over it (a link at its name is
// replaced, never followed). Returns an empty text on success, else the reason; the
// target is then unchanged. A file left beside it by a writer that was killed goes
// with the next write.
std::string ReplaceFileContents(const std::filesystem::path& target, const std::string& text);

// The same, written piece by piece: the file beside the target is opened at once and
// written as the text comes; Finish renames it over the target. One not finished is
// removed when it goes, and the target stays as it was.
class TReplacement {
public:
    explicit TReplacement(const std::filesystem::path& target);
    ~TReplacement();
    TReplacement(const TReplacement&) = delete;
    TReplacement& operator=(const TReplacement&) = delete;

    // Why the file beside the target could not be opened; empty when it was.
    const std::string& Problem() const { return OpenProblem; }
    void Write(std::string_view text);
    // Writes what is left, flushes and renames over the target. Returns an empty text
    // on success, else the reason.
    std::string Finish();

private:
    static constexpr size_t kFlushAt = size_t(256) << 10;
    void Flush();

    std::filesystem::path Target, Temp;
    int Fd = -1;
    int Error = 0;  // the first write error
    std::string Buffer, OpenProblem;
};

}  // namespace velmar
