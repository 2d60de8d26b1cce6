#pragma once
// Tags as a sheet and back, and from one file to others: the common fields by name
// (views/commontags.h) written as CSV or JSON rows, one a file, with a fingerprint
// that tells whether the file changed since; a sheet read back (as spreadsheet
// programs write it) into the values each file should have; and the writing of
// such values to a file, where only a value that differs from the file's is
// written and a file whose values all agree is not touched at all.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"
#include "file/mp3object.h"
#include "views/commontags.h"

namespace velmar {

// The fields a sheet and a copy carry, in their column order: title, artist, album,
// album_artist, year, track, track_total, disc, disc_total, genre, comment,
// composer, bpm.
const std::vector<std::string_view>& SheetFields();
bool IsSheetField(std::string_view name);
// Fields whose values are compared as whole numbers ("03" is "3").
bool IsNumberField(std::string_view name);

inline constexpr std::string_view kPathColumn = "path";
inline constexpr std::string_view kFingerprintColumn = "fingerprint";

// The values a file should have, by field name: a field that is not named is left
// as it is, an empty value removes the field.
using TFieldValues = std::map<std::string, std::string, std::less<>>;

// ---- fingerprints ----

// What a file's tags are now: its size and checksums of everything before its audio
// (the ID3v2 tag with its padding) and after it (Lyrics3, ID3v1), as "v1-SIZE-HEAD-TAIL"
// (letters first, so that no spreadsheet takes it for a number). Every program that
// changes a tag changes those bytes or the size; the audio is not read. `loaded` is
// the file as just loaded; empty when the file is no longer as it was loaded.
std::string TagFingerprint(const std::filesystem::path& file, const TMP3Object& loaded);

// ---- CSV (RFC 4180) ----

// A cell: in quotes, its quotes doubled, when it holds the separator, a quote, a line
// break, or blanks at either end; as it is otherwise.
std::string CsvCell(std::string_view value, char separator = ',');
// The cells of a record, with CR LF after them.
std::string CsvRecord(const std::vector<std::string>& cells);

struct TCsvRecord {
    std::vector<std::string> Cells;
    size_t Line = 1;  // where the record begins, from 1
};
// The records of a CSV text. A quoted cell may hold separators, doubled quotes and
// line breaks; records end at CR LF, LF or CR. The text is taken without a UTF-8
// byte-order mark. Throws std::invalid_argument for a quote that is never closed.
std::vector<TCsvRecord> ParseCsv(std::string_view text, char separator = ',');

// A text field starting with "=", "+", "-", "@", a tab or a CR is taken for a formula
// by spreadsheet programs: in a cell it gets a "'" in front (and one that starts with
// "'" and then one of those gets one more), which reading takes away again, so that
// every value comes back as it was written whether the program kept the "'" or not.
std::string GuardFormula(std::string_view value);
std::string UnguardFormula(std::string_view cell);

// ---- sheets ----

// The header of a CSV sheet: path, fingerprint and the fields.
std::string SheetCsvHeader();
// One file's row: its values (as CommonTags gives them) under the header's names.
std::string SheetCsvRow(const std::string& path, const std::string& fingerprint, const std::vector<TCommonTag>& tags);
// The same as one JSON object on one line: "path", "fingerprint" and every field,
// a number where the field is one, null where the file has none.
std::string SheetJsonRow(const std::string& path, const std::string& fingerprint, const std::vector<TCommonTag>& tags);

struct TSheetRow {
    size_t Line = 0;  // where the row begins in the sheet
    std::string Path;
    std::optional<std::string> Fingerprint;  // none: a row made by hand, not checked
    TFieldValues Values;                     // only the fields the row names
    std::string Problem;                     // why the row cannot be used; empty when it can
};

// Reads a sheet: CSV with a header row (a UTF-8 byte-order mark, CR LF or LF, quoted
// cells with line breaks, columns in any order and letter case; comma, semicolon or
// tab as the header row shows; columns that are not fields ignored, missing ones not
// changed; a cell missing at a row's end is empty), or JSON (objects one after
// another, or an array of them; keys as the CSV header, null as an empty value). Text
// that is not UTF-8 is taken as Latin-1. Rows without any cell are skipped. Throws
// std::invalid_argument when the sheet as a whole cannot be read.
std::vector<TSheetRow> ReadSheet(std::string_view text);

// ---- changes ----

struct TFieldChange {
    std::string Field, Value;  // an empty value removes the field
    bool operator==(const TFieldChange&) const = default;
};

// The fields of `wanted` whose value differs from the file's (`now`, as CommonTags
// gives it), in the order of SheetFields. Numbers compare as numbers; blanks around
// a number do not count.
std::vector<TFieldChange> ChangedFields(const TFieldValues& wanted, const std::vector<TCommonTag>& now);
// Why the changes cannot be written (a year that is not one, a track total without
// a track number, ...); empty when they can.
std::string ChangesProblem(const std::vector<TFieldChange>& changes, const std::vector<TCommonTag>& now);

// The pictures to give a file: each one's type, description, MIME type and data.
struct TPicture {
    uint8_t Type = 0;
    std::string Description, MimeType;
    TBytes Data;
    bool operator==(const TPicture&) const = default;
};
std::vector<TPicture> PicturesOf(const TMP3Object& file);

struct TTagValues {
    TFieldValues Fields;
    std::optional<std::vector<TPicture>> Pictures;  // when given, the file's pictures become these
    std::optional<std::string> Fingerprint;         // when given, the file must still have it
};

// What copying a file's tags gives other files: every common field the file has,
// as CommonTags gives it. Fields it lacks are not named, so the files the values are
// written to keep theirs, as `velmar-cli copy` without --fields does.
TFieldValues CopiedFields(const std::vector<TCommonTag>& tags);

enum class TTagWrite { Written, Unchanged, Failed };

// What writing `values` to the file would change, found without writing: the
// changed fields in the order of SheetFields, and "pictures" when they differ; empty
// when nothing would. None after telling the sink why the file cannot take them: it
// is not there any more, cannot be read, no longer has the fingerprint, a value
// cannot be written, or its ID3v2 tag is not understood.
std::optional<std::vector<std::string>> PlanTagValues(const std::filesystem::path& file, const TTagValues& values,
                                                      TMessageSink& sink);

// Loads the file for a change and writes the values that differ from its own: in
// its ID3v2 tag (made when it has none) and in its ID3v1 and Lyrics3 tags where it
// has them, as `velmar-cli set` does. Unchanged when nothing differs: the file is
// not written. Failed after telling the sink why (the file is then as it was), as
// PlanTagValues tells it, or because the save failed. `changed` receives the names of
// what changed.
TTagWrite WriteTagValues(const std::filesystem::path& file, const TTagValues& values, TMessageSink& sink,
                         std::vector<std::string>* changed = nullptr);

}  // namespace velmar
