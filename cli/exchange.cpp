#include "exchange.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/iofunc.h"
#include "batch/makelist.h"
#include "batch/tagsheet.h"
#include "file/filereader.h"
#include "history.h"
#include "report.h"
#include "say.h"

namespace velmar::cli {

namespace fs = std::filesystem;

namespace {

const char* const kCopyUsage =
    "usage: velmar-cli copy --from FILE [--fields LIST] PATH...\n"
    "  Copies the tags of FILE to each PATH (folders are walked). LIST names fields,\n"
    "  separated by commas: title, artist, album, album_artist, year, track,\n"
    "  track_total, disc, disc_total, genre, comment, composer, bpm and pictures;\n"
    "  without --fields, every field but the pictures. A field FILE does not have is\n"
    "  left as it is in each PATH, unless --fields names it: then it is removed there.\n"
    "  With pictures, the pictures of each PATH become those of FILE (none, when FILE\n"
    "  has none). Values are written as set writes them: in the ID3v2 tag (made when\n"
    "  a file has none) and in the ID3v1 and Lyrics3 tags a file has. A file that has\n"
    "  these values already is not written, and FILE itself never is. Prints\n"
    "  \"PATH: title, artist, ...\" for each file written.\n";

const char* const kExportUsage =
    "usage: velmar-cli export (--csv | --json) [-o SHEET] PATH...\n"
    "  Writes a sheet of the files' tags, one row a file (folders are walked), to\n"
    "  standard output or to SHEET (written beside it, then renamed over it): the\n"
    "  file's path (made absolute), a fingerprint of its tags, and title, artist,\n"
    "  album, album_artist, year, track, track_total, disc, disc_total, genre (as a\n"
    "  name), comment, composer and bpm, each from the ID3v2 tag with the ID3v1 and\n"
    "  Lyrics3 tags filling gaps, as info --json gives them.\n"
    "  --csv   RFC 4180: UTF-8, CR LF, a header row with the column names, cells in\n"
    "          quotes where needed. A value a spreadsheet program would take for a\n"
    "          formula (it begins with = + - @) gets a ' in front; import takes it away.\n"
    "  --json  one object a line; numbers as numbers, a field the file lacks as null.\n"
    "  velmar-cli import SHEET writes the changed values back.\n";

const char* const kImportUsage =
    "usage: velmar-cli import SHEET\n"
    "  Writes back a sheet that export made and a person or a program changed (SHEET\n"
    "  \"-\" reads standard input). In each row's file the values that differ from the\n"
    "  file's own are written, as set writes them (numbers compare as numbers: \"03\" is\n"
    "  3); a file whose values all agree is not touched. An empty cell (JSON: null or\n"
    "  \"\") removes the field; a column that is missing leaves it as it is; columns\n"
    "  may stand in any order, and others are ignored. CSV is read as spreadsheet\n"
    "  programs write it back: with a byte-order mark or not, CR LF or LF, comma,\n"
    "  semicolon or tab between cells, line breaks in quoted cells, text that is not\n"
    "  UTF-8 taken as Latin-1. JSON: objects one after another, or an array of them.\n"
    "  A row is not imported, and its file is named on standard error, when the file\n"
    "  is gone, changed since the export (its tags or its size: the fingerprint\n"
    "  differs), has more than one row, or a value cannot be written (a year that is\n"
    "  not one, a track_total without a track); the other rows are. A row without a\n"
    "  fingerprint (a sheet made by hand) is written without that check. All that is\n"
    "  written is one change of the history: velmar-cli undo takes it back. Prints\n"
    "  \"PATH: year, genre\" for each file written.\n";

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = 0;
        if (uint8_t(text[i]) < 0x80) continue;
        const size_t length = Utf8SequenceAt(text, i, cp);
        if (length == 0) return false;
        i += length - 1;
    }
    return true;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

// What tells two names of one file as one: the path with its links resolved.
fs::path FileKey(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const fs::path key = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : key;
}

// Each file once, where it comes first: a folder and a file in it, or two names of
// one file, would give it two rows or two writes.
std::vector<fs::path> EachFileOnce(const std::vector<fs::path>& paths) {
    std::vector<fs::path> once;
    std::set<fs::path> seen;
    for (const fs::path& path : paths)
        if (seen.insert(FileKey(path)).second) once.push_back(path);
    return once;
}

// Plans the values for each file on the thread pool (nothing is written): the files
// that would change, in order. The others' messages are printed, with `refused`
// after the last, and set `status` to 1.
std::vector<fs::path> FilesToChange(const std::vector<fs::path>& files, const std::vector<const TTagValues*>& values,
                                    const std::string& refused, int& status) {
    std::vector<fs::path> changing;
    ReadItemsInOrder<std::optional<std::vector<std::string>>>(
        files.size(), [&](size_t i, TCollectingSink& sink) { return PlanTagValues(files[i], *values[i], sink); },
        [&](size_t i, TFileRead<std::optional<std::vector<std::string>>>&& plan) {
            const bool ok = !plan.Failed && plan.Value;
            for (size_t m = 0; m < plan.Messages.size(); ++m)
                Say(files[i].string(),
                    plan.Messages[m] + (!ok && m + 1 == plan.Messages.size() ? refused : std::string()));
            if (!ok)
                status = 1;
            else if (!plan.Value->empty())
                changing.push_back(files[i]);
            return true;
        });
    return changing;
}

// Writes the values to the files as one change of the history, printing what changed in each.
int WriteChange(const std::string& command, const TArgs& args, const char* text, const std::vector<fs::path>& files,
                const std::map<fs::path, const TTagValues*>& values, THistory* history) {
    const TFileChange change{CommandLine(command, args.Given), text, files,
                             [&values](const fs::path& file, TMessageSink& sink) {
                                 std::vector<std::string> changed;
                                 const TTagWrite written = WriteTagValues(file, *values.at(file), sink, &changed);
                                 if (written == TTagWrite::Written)
                                     std::cout << Printable(file.string()) << ": " << Joined(changed) << "\n";
                                 return written != TTagWrite::Failed;
                             }};
    return ApplyPrinting(change, history);
}

// ---- copy ----

// The names of --fields: known ones, each once, in the order given.
std::string ParseFieldList(const std::string& list, std::vector<std::string>& fields) {
    std::istringstream in(list);
    for (std::string name; std::getline(in, name, ',');) {
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (!IsSheetField(name) && name != "pictures")
            return "--fields: \"" + name +
                   "\" is not a field (title, artist, album, album_artist, year, track, track_total, disc, "
                   "disc_total, genre, comment, composer, bpm, pictures)";
        if (std::find(fields.begin(), fields.end(), name) == fields.end()) fields.push_back(name);
    }
    return fields.empty() ? "--fields names no field" : "";
}

int Copy(const TArgs& args, THistory* history) {
    const std::optional<std::string> source = args.Value("--from");
    if (!source || source->empty()) return args.UsageError("copy needs --from FILE");
    const bool named = args.Has("--fields");
    std::vector<std::string> fields;
    if (named) {
        if (const std::string error = ParseFieldList(*args.Value("--fields"), fields); !error.empty())
            return args.UsageError(error);
    } else {
        fields.assign(SheetFields().begin(), SheetFields().end());
    }
    if (args.Operands.empty()) return args.UsageError("copy needs at least one file to copy to");

    TCollectingSink sink;
    TMP3Object from(sink);
    const bool loaded = from.LoadFile(*source, false);
    for (const std::string& m : sink.Messages) Say(*source, m);
    if (!loaded) return 1;
    TTagValues values;
    const std::vector<TCommonTag> tags = CommonTags(from);
    for (const std::string& field : fields) {
        if (field == "pictures") {
            values.Pictures = PicturesOf(from);
            continue;
        }
        const auto tag =
            std::find_if(tags.begin(), tags.end(), [&field](const TCommonTag& t) { return t.Name == field; });
        // A field the source lacks removes the target's only when it was asked for by name.
        if (tag != tags.end())
            values.Fields[field] = tag->Text;
        else if (named)
            values.Fields[field] = "";
    }

    std::vector<fs::path> files;
    for (const fs::path& file : EachFileOnce(args.Paths())) {
        std::error_code ec;
        if (fs::equivalent(file, *source, ec))
            Say(file.string(), "is the file the tags are copied from; left as it is");
        else
            files.push_back(file);
    }
    int status = 0;
    const std::vector<fs::path> changing =
        FilesToChange(files, std::vector<const TTagValues*>(files.size(), &values), "; left as it is", status);
    if (changing.empty()) {
        if (status == 0) std::cout << "nothing to copy: the files have these values already\n";
        return status;
    }
    std::map<fs::path, const TTagValues*> byFile;
    for (const fs::path& file : changing) byFile[file] = &values;
    return std::max(status, WriteChange("copy", args, "Copy tags", changing, byFile, history));
}

// ---- export ----

int Export(const TArgs& args, THistory*) {
    const bool csv = args.Has("--csv"), json = args.Has("--json");
    if (csv == json) return args.UsageError("export takes one of --csv and --json");
    if (args.Operands.empty()) return args.UsageError("export needs at least one path");
    const std::optional<std::string> output = args.Value("-o");
    if (output && output->empty()) return args.UsageError("-o needs a file name");
    const std::vector<fs::path> files = EachFileOnce(args.Paths());
    std::string sheet = csv ? SheetCsvHeader() : std::string();
    if (!output) {
        std::cout << sheet;
        sheet.clear();
    }
    int status = 0;
    size_t rows = 0;
    ReadFilesInOrder<std::optional<std::string>>(
        files,
        [csv](const fs::path& file, TCollectingSink& sink) -> std::optional<std::string> {
            TMP3Object object(sink);
            if (!object.LoadFile(file, false)) return std::nullopt;
            const std::string fingerprint = TagFingerprint(file, object);
            if (fingerprint.empty()) {
                sink.Error("the file changed while it was read; export it again");
                return std::nullopt;
            }
            // The path is absolute, so that import finds the file from any folder.
            const std::string path = fs::absolute(file).lexically_normal().string();
            if (!csv && !IsValidUtf8(path)) {
                sink.Error("the name is not UTF-8, which JSON cannot carry; export it with --csv");
                return std::nullopt;
            }
            const std::vector<TCommonTag> tags = CommonTags(object);
            return csv ? SheetCsvRow(path, fingerprint, tags) : SheetJsonRow(path, fingerprint, tags) + "\n";
        },
        [&](size_t i, TFileRead<std::optional<std::string>>&& row) {
            for (const std::string& m : row.Messages) Say(files[i].string(), m);
            if (row.Failed || !row.Value) {
                status = 1;
                return true;
            }
            ++rows;
            if (output)
                sheet += *row.Value;
            else
                std::cout << *row.Value;
            return true;
        });
    if (!output) return status;
    if (const std::string problem = ReplaceFileContents(*output, sheet); !problem.empty()) {
        Say(*output, "the sheet cannot be written: " + problem);
        return 1;
    }
    std::cout << Printable(*output) << ": " << rows << " file(s)\n";
    return status;
}

// ---- import ----

// The whole sheet; none after saying why it cannot be read.
std::optional<std::string> ReadSheetText(const std::string& name) {
    if (name == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::error_code ec;
    if (fs::is_directory(name, ec)) {
        Say(name, "is a folder, not a sheet");
        return std::nullopt;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in.is_open()) {
        Say(name, std::string("the sheet cannot be read: ") + std::strerror(errno));
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) {
        Say(name, "the sheet cannot be read whole");
        return std::nullopt;
    }
    return text;
}

// The file a row names. A name that is not found and is not UTF-8 may come from a
// sheet a program saved in a Windows code page: the same name in UTF-8 is tried.
fs::path RowFile(const std::string& path) {
    std::error_code ec;
    if (IsValidUtf8(path) || fs::symlink_status(path, ec).type() != fs::file_type::not_found) return path;
    const fs::path utf8 = Latin1ToUtf8(path);
    return fs::symlink_status(utf8, ec).type() != fs::file_type::not_found ? utf8 : fs::path(path);
}

int Import(const TArgs& args, THistory* history) {
    if (args.Operands.size() != 1) return args.UsageError("import takes one sheet");
    const std::string& name = args.Operands[0];
    const std::optional<std::string> text = ReadSheetText(name);
    if (!text) return 1;
    std::vector<TSheetRow> rows;
    try {
        rows = ReadSheet(*text);
    } catch (const std::invalid_argument& e) {
        Say(name, std::string(e.what()) + "; nothing was imported");
        return 1;
    }
    int status = 0;
    // Rows that name one file twice (by any spelling) contradict each other: none is taken.
    std::vector<fs::path> files;
    std::vector<TTagValues> values;
    std::map<fs::path, size_t> rowsOf;
    std::vector<fs::path> keys;
    for (const TSheetRow& row : rows) {
        keys.push_back(row.Path.empty() ? fs::path() : FileKey(RowFile(row.Path)));
        if (!row.Path.empty()) ++rowsOf[keys.back()];
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        const TSheetRow& row = rows[r];
        const std::string where = "line " + std::to_string(row.Line) + " of the sheet: ";
        if (row.Path.empty()) {
            Say(name, where + row.Problem + "; it was not imported");
            status = 1;
        } else if (!row.Problem.empty()) {
            Say(row.Path, where + row.Problem + "; the row was not imported");
            status = 1;
        } else if (rowsOf[keys[r]] > 1) {
            Say(row.Path, where + "the file has " + std::to_string(rowsOf[keys[r]]) +
                              " rows in the sheet; none of them was imported");
            status = 1;
        } else {
            files.push_back(RowFile(row.Path));
            values.push_back({row.Values, std::nullopt, row.Fingerprint});
        }
    }
    std::vector<const TTagValues*> valueOf;
    for (const TTagValues& v : values) valueOf.push_back(&v);
    const std::vector<fs::path> changing = FilesToChange(files, valueOf, "; the row was not imported", status);
    if (changing.empty()) {
        if (status == 0) std::cout << "nothing to import: the files have these values already\n";
        return status;
    }
    std::map<fs::path, const TTagValues*> byFile;
    for (size_t i = 0; i < files.size(); ++i) byFile[files[i]] = valueOf[i];
    return std::max(status, WriteChange("import", args, "Import tags", changing, byFile, history));
}

}  // namespace

const TCommand kCopy{"copy", kCopyUsage, {{"--from", true}, {"--fields", true}}, Copy};
const TCommand kExport{"export", kExportUsage, {{"--csv"}, {"--json"}, {"-o", true, "--output"}}, Export};
const TCommand kImport{"import", kImportUsage, {}, Import};

}  // namespace velmar::cli
