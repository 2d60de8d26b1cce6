#include "batch/tagsheet.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <stdexcept>

#include "edit/editorfields.h"
#include "edit/tagedit.h"

namespace velmar {

namespace fs = std::filesystem;

const std::vector<std::string_view>& SheetFields() {
    static const std::vector<std::string_view> kFields = {"title",   "artist",      "album", "album_artist", "year",
                                                          "track",   "track_total", "disc",  "disc_total",   "genre",
                                                          "comment", "composer",    "bpm"};
    return kFields;
}

bool IsSheetField(std::string_view name) {
    const auto& fields = SheetFields();
    return std::find(fields.begin(), fields.end(), name) != fields.end();
}

bool IsNumberField(std::string_view name) {
    return name == "year" || name == "track" || name == "track_total" || name == "disc" || name == "disc_total" ||
           name == "bpm";
}

namespace {

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
    return out;
}

std::string_view WithoutBom(std::string_view text) { return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text; }

const TCommonTag* Find(const std::vector<TCommonTag>& tags, std::string_view name) {
    const auto it = std::find_if(tags.begin(), tags.end(), [name](const TCommonTag& t) { return t.Name == name; });
    return it == tags.end() ? nullptr : &*it;
}

std::string ValueOf(const std::vector<TCommonTag>& tags, std::string_view name) {
    const TCommonTag* tag = Find(tags, name);
    return tag ? tag->Text : std::string();
}

}  // namespace

// ---- fingerprints ----

std::string TagFingerprint(const fs::path& file, const TMP3Object& loaded) {
    if (loaded.DataStart < 0 || loaded.AudioEnd < loaded.DataStart || loaded.FileSize < loaded.AudioEnd) return {};
    try {
        TFileStream in(file, TFileStream::OpenRead);
        if (in.Size() != loaded.FileSize) return {};
        auto crcOf = [&in](int64_t from, int64_t count) {
            uLong crc = crc32(0, nullptr, 0);
            TBytes block(size_t(std::min<int64_t>(count, 1 << 16)));
            for (int64_t done = 0; done < count;) {
                const size_t n = size_t(std::min<int64_t>(count - done, int64_t(block.size())));
                if (in.ReadAt(from + done, block.data(), n) != n) throw std::runtime_error("short read");
                crc = crc32(crc, block.data(), uInt(n));
                done += int64_t(n);
            }
            return uint32_t(crc);
        };
        const uint32_t head = crcOf(0, loaded.DataStart);
        const uint32_t tail = crcOf(loaded.AudioEnd, loaded.FileSize - loaded.AudioEnd);
        char text[64];
        std::snprintf(text, sizeof text, "v1-%lld-%08x-%08x", static_cast<long long>(loaded.FileSize), unsigned(head),
                      unsigned(tail));
        return text;
    } catch (const std::exception&) {
        return {};
    }
}

// ---- CSV ----

std::string CsvCell(std::string_view value, char separator) {
    const bool blankEdge = !value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                                              value.back() == '\t');
    if (!blankEdge && value.find_first_of(std::string{'"', '\r', '\n', separator}) == std::string_view::npos)
        return std::string(value);
    std::string out = "\"";
    for (const char c : value) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string CsvRecord(const std::vector<std::string>& cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) out += (i ? "," : "") + CsvCell(cells[i]);
    return out + "\r\n";
}

std::vector<TCsvRecord> ParseCsv(std::string_view text, char separator) {
    text = WithoutBom(text);
    std::vector<TCsvRecord> records;
    TCsvRecord record;
    std::string cell;
    bool started = false;  // the record has a character of its own
    size_t line = 1;
    auto endCell = [&] {
        record.Cells.push_back(std::move(cell));
        cell.clear();
    };
    auto endRecord = [&] {
        endCell();
        records.push_back(std::move(record));
        record = {};
        started = false;
    };
    for (size_t i = 0; i < text.size();) {
        if (!started) record.Line = line;
        started = true;
        const char c = text[i];
        if (c == '"' && cell.empty()) {
            // A quoted cell runs to the quote that is not doubled.
            const size_t opened = line;
            for (++i;; ++i) {
                if (i >= text.size())
                    throw std::invalid_argument("the quote that opens a cell on line " + std::to_string(opened) +
                                                " is never closed");
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        cell += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
                cell += text[i];
            }
            // Text after the closing quote (not RFC 4180) is kept as it stands.
            continue;
        }
        if (c == separator) {
            endCell();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++line;
            endRecord();
        } else {
            cell += c;
        }
        ++i;
    }
    if (started) endRecord();
    return records;
}

std::string GuardFormula(std::string_view value) {
    const size_t first = value.find_first_not_of('\'');
    if (first == std::string_view::npos || std::string_view("=+-@\t\r").find(value[first]) == std::string_view::npos)
        return std::string(value);
    return "'" + std::string(value);
}

std::string UnguardFormula(std::string_view cell) {
    const size_t first = cell.find_first_not_of('\'');
    if (first == 0 || first == std::string_view::npos ||
        std::string_view("=+-@\t\r").find(cell[first]) == std::string_view::npos)
        return std::string(cell);
    return std::string(cell.substr(1));
}

// ---- sheets: writing ----

std::string SheetCsvHeader() {
    std::vector<std::string> names = {std::string(kPathColumn), std::string(kFingerprintColumn)};
    for (std::string_view field : SheetFields()) names.emplace_back(field);
    return CsvRecord(names);
}

std::string SheetCsvRow(const std::string& path, const std::string& fingerprint, const std::vector<TCommonTag>& tags) {
    std::vector<std::string> cells = {GuardFormula(path), fingerprint};
    for (std::string_view field : SheetFields()) cells.push_back(GuardFormula(ValueOf(tags, field)));
    return CsvRecord(cells);
}

std::string SheetJsonRow(const std::string& path, const std::string& fingerprint, const std::vector<TCommonTag>& tags) {
    std::string out = "{";
    AppendJsonString(out, kPathColumn);
    out += ':';
    AppendJsonString(out, path);
    out += ',';
    AppendJsonString(out, kFingerprintColumn);
    out += ':';
    AppendJsonString(out, fingerprint);
    for (std::string_view field : SheetFields()) {
        out += ',';
        AppendJsonString(out, field);
        out += ':';
        const TCommonTag* tag = Find(tags, field);
        if (!tag)
            out += "null";
        else if (IsNumberField(field) && tag->Number)
            out += std::to_string(*tag->Number);
        else
            AppendJsonString(out, tag->Text);
    }
    return out + "}";
}

// ---- sheets: reading ----

namespace {

// A cell as the sheet gives it: a text, or JSON's null (no value: empty).
using TCell = std::optional<std::string>;

// The row of one record whose cells are named: path, fingerprint and the fields;
// other names are ignored. `problem` is set when a cell cannot be used.
TSheetRow MakeRow(size_t line, const std::vector<std::pair<std::string, TCell>>& named, std::string problem) {
    TSheetRow row;
    row.Line = line;
    row.Problem = std::move(problem);
    for (const auto& [name, cell] : named) {
        if (name == kPathColumn) {
            row.Path = cell.value_or("");
        } else if (name == kFingerprintColumn) {
            if (cell && !TrimBlanks(*cell).empty()) row.Fingerprint = std::string(TrimBlanks(*cell));
        } else if (IsSheetField(name)) {
            const std::string value = cell.value_or("");
            // Text that is not UTF-8 (a sheet saved in a Windows code page) is taken as Latin-1.
            row.Values[name] = DecodeUtf8(reinterpret_cast<const uint8_t*>(value.data()), value.size());
        }
    }
    if (row.Problem.empty() && row.Path.empty()) row.Problem = "the row names no file (its path is empty)";
    return row;
}

// The separator of a CSV sheet: the one of comma, semicolon and tab that its first
// line holds most often (the column names hold none of them).
char SeparatorOf(std::string_view text) {
    const std::string_view first = text.substr(0, text.find_first_of("\r\n"));
    char best = ',';
    size_t most = 0;
    for (const char c : {',', ';', '\t'})
        if (const size_t n = size_t(std::count(first.begin(), first.end(), c)); n > most) best = c, most = n;
    return best;
}

std::vector<TSheetRow> ReadCsvSheet(std::string_view text) {
    const std::vector<TCsvRecord> records = ParseCsv(text, SeparatorOf(text));
    if (records.empty()) return {};
    // The header: names by column, known ones at most once.
    std::vector<std::string> names;
    for (const std::string& cell : records[0].Cells) {
        std::string name = Lower(TrimBlanks(cell));
        const bool known = name == kPathColumn || name == kFingerprintColumn || IsSheetField(name);
        if (known && std::find(names.begin(), names.end(), name) != names.end())
            throw std::invalid_argument("the column \"" + name + "\" stands twice in the header");
        names.push_back(known ? std::move(name) : std::string());
    }
    if (std::find(names.begin(), names.end(), kPathColumn) == names.end())
        throw std::invalid_argument("the header (the first row) has no \"path\" column");
    std::vector<TSheetRow> rows;
    for (size_t r = 1; r < records.size(); ++r) {
        const TCsvRecord& record = records[r];
        if (std::all_of(record.Cells.begin(), record.Cells.end(), [](const std::string& c) { return c.empty(); }))
            continue;
        std::string problem;
        const auto extra = std::find_if(record.Cells.begin() + long(std::min(names.size(), record.Cells.size())),
                                        record.Cells.end(), [](const std::string& c) { return !c.empty(); });
        if (extra != record.Cells.end())
            problem = "the row has " + std::to_string(record.Cells.size()) + " cells and the header only " +
                      std::to_string(names.size());
        std::vector<std::pair<std::string, TCell>> named;
        for (size_t k = 0; k < names.size(); ++k)
            if (!names[k].empty())
                named.emplace_back(names[k], k < record.Cells.size() ? UnguardFormula(record.Cells[k]) : std::string());
        rows.push_back(MakeRow(record.Line, named, std::move(problem)));
    }
    return rows;
}

// A reader of the JSON a sheet may be: objects one after another, or an array of
// them. Values of the known keys are kept (strings, numbers as written, null);
// others are read over.
class TJsonSheetReader {
public:
    explicit TJsonSheetReader(std::string_view text) : S(text) {}

    std::vector<TSheetRow> Rows() {
        std::vector<TSheetRow> rows;
        Space();
        const bool array = Eat('[');
        Space();
        if (array && Eat(']')) return rows;
        while (P < S.size()) {
            rows.push_back(Object());
            Space();
            if (array) {
                if (Eat(']')) break;
                Expect(',');
                Space();
            }
        }
        Space();
        if (array && P < S.size()) Fail("text after the array");
        if (array && P >= S.size() && (rows.empty() || S.back() != ']')) Fail("the array is not closed");
        return rows;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        const size_t line = size_t(std::count(S.begin(), S.begin() + long(std::min(P, S.size())), '\n')) + 1;
        throw std::invalid_argument("line " + std::to_string(line) + ": " + what + " (the sheet is not valid JSON)");
    }
    void Space() {
        while (P < S.size() && (S[P] == ' ' || S[P] == '\t' || S[P] == '\r' || S[P] == '\n')) ++P;
    }
    bool Eat(char c) {
        if (P < S.size() && S[P] == c) {
            ++P;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        Space();
        if (!Eat(c)) Fail(std::string("\"") + c + "\" expected");
    }

    TSheetRow Object() {
        const size_t line = size_t(std::count(S.begin(), S.begin() + long(P), '\n')) + 1;
        if (!Eat('{')) Fail("a row is not an object");
        std::vector<std::pair<std::string, TCell>> named;
        std::string problem;
        Space();
        if (!Eat('}')) {
            for (;;) {
                Space();
                const std::string key = Lower(String());
                Expect(':');
                Space();
                const bool known = key == kPathColumn || key == kFingerprintColumn || IsSheetField(key);
                TCell cell;
                const bool plain = Value(cell);
                if (known) {
                    if (std::any_of(named.begin(), named.end(), [&key](const auto& n) { return n.first == key; }))
                        problem = "the row names \"" + key + "\" twice";
                    else if (!plain && problem.empty())
                        problem = "the value of \"" + key + "\" is not a text, a number or null";
                    named.emplace_back(key, cell);
                }
                Space();
                if (Eat('}')) break;
                Expect(',');
            }
        }
        if (std::none_of(named.begin(), named.end(), [](const auto& n) { return n.first == kPathColumn; }))
            return MakeRow(line, named, problem.empty() ? "the row names no file (it has no \"path\")" : problem);
        return MakeRow(line, named, problem);
    }

    // Reads a value; true for a string, number or null (in `cell`), false for others.
    bool Value(TCell& cell) {
        if (P >= S.size()) Fail("a value is missing");
        const char c = S[P];
        if (c == '"') {
            cell = String();
            return true;
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            cell = Number();
            return true;
        }
        for (const std::string_view word : {"null", "true", "false"})
            if (S.substr(P).starts_with(word)) {
                P += word.size();
                cell.reset();
                return word == "null";
            }
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++P;
            Space();
            if (Eat(close)) return false;
            for (;;) {
                Space();
                if (close == '}') {
                    String();
                    Expect(':');
                    Space();
                }
                TCell ignored;
                Value(ignored);
                Space();
                if (Eat(close)) return false;
                Expect(',');
            }
        }
        Fail("a value is not JSON");
    }

    std::string Number() {
        const size_t from = P;
        Eat('-');
        if (Eat('0')) {
        } else if (P < S.size() && S[P] >= '1' && S[P] <= '9') {
            while (P < S.size() && std::isdigit(uint8_t(S[P]))) ++P;
        } else {
            Fail("a number has no digits");
        }
        if (Eat('.')) {
            if (P >= S.size() || !std::isdigit(uint8_t(S[P]))) Fail("a number has no digits after its point");
            while (P < S.size() && std::isdigit(uint8_t(S[P]))) ++P;
        }
        if (P < S.size() && (S[P] == 'e' || S[P] == 'E')) {
            ++P;
            if (!Eat('+')) Eat('-');
            if (P >= S.size() || !std::isdigit(uint8_t(S[P]))) Fail("a number has no digits in its exponent");
            while (P < S.size() && std::isdigit(uint8_t(S[P]))) ++P;
        }
        return std::string(S.substr(from, P - from));
    }

    uint32_t Hex4() {
        if (P + 4 > S.size()) Fail("a \\u escape is cut short");
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = S[P++];
            v <<= 4;
            if (h >= '0' && h <= '9')
                v |= uint32_t(h - '0');
            else if (h >= 'a' && h <= 'f')
                v |= uint32_t(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                v |= uint32_t(h - 'A' + 10);
            else
                Fail("a \\u escape has a character that is not hexadecimal");
        }
        return v;
    }


    std::string String() {
        if (!Eat('"')) Fail("a text in quotes expected");
        std::string out;
        for (;;) {
            if (P >= S.size()) Fail("a text is never closed");
            const char c = S[P++];
            if (c == '"') return out;
            if (uint8_t(c) < 0x20) Fail("a text holds a control character that is not escaped");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (P >= S.size()) Fail("a text is never closed");
            switch (const char e = S[P++]) {
                case '"':
                case '\\':
                case '/': out += e; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    uint32_t cp = Hex4();
                    if (cp >= 0xD800 && cp < 0xDC00 && S.substr(P).starts_with("\\u")) {
                        const size_t at = P;
                        P += 2;
                        const uint32_t low = Hex4();
                        if (low >= 0xDC00 && low < 0xE000)
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        else
                            P = at;
                    }
                    AppendUtf8(out, cp >= 0xD800 && cp < 0xE000 ? 0xFFFD : cp);
                    break;
                }
                default: Fail(std::string("a text has an unknown escape \\") + e);
            }
        }
    }

    std::string_view S;
    size_t P = 0;
};

}  // namespace

std::vector<TSheetRow> ReadSheet(std::string_view text) {
    text = WithoutBom(text);
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && (text[first] == '{' || text[first] == '['))
        return TJsonSheetReader(text).Rows();
    return ReadCsvSheet(text);
}

// ---- changes ----

std::vector<TFieldChange> ChangedFields(const TFieldValues& wanted, const std::vector<TCommonTag>& now) {
    std::vector<TFieldChange> changes;
    for (std::string_view field : SheetFields()) {
        const auto it = wanted.find(field);
        if (it == wanted.end()) continue;
        const std::string current = ValueOf(now, field);
        if (IsNumberField(field)) {
            const std::string value(TrimBlanks(it->second));
            const std::optional<int64_t> a = WholeNumber(value), b = WholeNumber(current);
            if (a && b ? *a != *b : value != TrimBlanks(current)) changes.push_back({std::string(field), value});
        } else if (it->second != current) {
            changes.push_back({std::string(field), it->second});
        }
    }
    return changes;
}

namespace {

const TFieldChange* FindChange(const std::vector<TFieldChange>& changes, std::string_view field) {
    const auto it =
        std::find_if(changes.begin(), changes.end(), [field](const TFieldChange& c) { return c.Field == field; });
    return it == changes.end() ? nullptr : &*it;
}

// The "N/M" text of a number and its total after the changes; none when neither changed.
std::optional<std::string> PairText(const std::vector<TFieldChange>& changes, const std::vector<TCommonTag>& now,
                                    std::string_view number, std::string_view total, std::string& problem) {
    const TFieldChange* n = FindChange(changes, number);
    const TFieldChange* t = FindChange(changes, total);
    if (!n && !t) return std::nullopt;
    const std::string first = n ? n->Value : ValueOf(now, number);
    const std::string second = t ? t->Value : ValueOf(now, total);
    if (first.empty() && !second.empty()) {
        problem = std::string(total) + " \"" + second + "\" needs a " + std::string(number) +
                  " number; give one, or empty " + std::string(total) + " too";
        return std::nullopt;
    }
    return second.empty() ? first : first + "/" + second;
}

}  // namespace

std::string ChangesProblem(const std::vector<TFieldChange>& changes, const std::vector<TCommonTag>& now) {
    for (const TFieldChange& c : changes) {
        if (c.Value.find('\0') != std::string::npos) return c.Field + " holds a zero character";
        if (c.Value.empty() || !IsNumberField(c.Field)) continue;
        const std::optional<int64_t> n = WholeNumber(c.Value);
        if (c.Field == "year" && (!n || c.Value.size() > 4))
            return "year \"" + c.Value + "\" is not a year of up to four digits";
        if (!n || *n > INT_MAX) return c.Field + " \"" + c.Value + "\" is not a whole number";
    }
    std::string problem;
    PairText(changes, now, "track", "track_total", problem);
    if (problem.empty()) PairText(changes, now, "disc", "disc_total", problem);
    return problem;
}

TFieldValues CopiedFields(const std::vector<TCommonTag>& tags) {
    TFieldValues values;
    for (const TCommonTag& tag : tags)
        if (IsSheetField(tag.Name)) values[std::string(tag.Name)] = tag.Text;
    return values;
}

std::vector<TPicture> PicturesOf(const TMP3Object& file) {
    std::vector<TPicture> pictures;
    const TID3v2Object& v2 = file.ID3v2();
    if (!v2.Present) return pictures;
    for (size_t i = 0; i < std::min(v2.APIC.size(), size_t(std::max(v2.APICCount, 0))); ++i) {
        const TAPICFrame& f = v2.APIC[i];
        pictures.push_back({f.PictureType, f.Description, f.MIMEType, f.PictureData});
    }
    return pictures;
}

namespace {

const char* const kChangedSince = "the file changed after the sheet was exported (its tags or its size differ)";

// The fields, and "pictures", that writing the values changes; `problem` says why
// they cannot be written.
std::vector<std::string> Plan(const fs::path& path, const TMP3Object& file, const TTagValues& values,
                              std::vector<TFieldChange>& changes, std::string& problem) {
    const std::vector<TCommonTag> now = CommonTags(file);
    changes = ChangedFields(values.Fields, now);
    std::vector<std::string> names;
    for (const TFieldChange& c : changes) names.push_back(c.Field);
    if (values.Pictures && *values.Pictures != PicturesOf(file)) names.emplace_back("pictures");
    // A file that has the values already loses nothing, whoever changed it since.
    if (names.empty()) return names;
    const TID3v2Object& v2 = file.ID3v2();
    if (values.Fingerprint && TagFingerprint(path, file) != *values.Fingerprint)
        problem = kChangedSince;
    else
        problem = ChangesProblem(changes, now);
    if (problem.empty() && v2.Present && !v2.Valid)
        problem = "its ID3v2 tag (version 2." + std::to_string(v2.Header.MajorVersion) + ") is not understood";
    return problem.empty() ? names : std::vector<std::string>{};
}

void Apply(TMP3Object& file, const std::vector<TFieldChange>& changes,
           const std::optional<std::vector<TPicture>>& pictures) {
    const std::vector<TCommonTag> now = CommonTags(file);
    TTagEdit edit(file);
    // What is written reads back the same: a Lyrics3 tag's title, artist and album follow too.
    edit.ExtendLyrics3 = true;
    static const std::pair<std::string_view, TTagField> kShared[] = {{"title", TTagField::Title},
                                                                     {"artist", TTagField::Artist},
                                                                     {"album", TTagField::Album},
                                                                     {"year", TTagField::Year},
                                                                     {"genre", TTagField::Genre}};
    static const std::pair<std::string_view, const char*> kFrames[] = {
        {"album_artist", "TPE2"}, {"composer", "TCOM"}, {"bpm", "TBPM"}};
    for (const TFieldChange& c : changes) {
        for (const auto& [name, field] : kShared)
            if (c.Field == name) edit.Set(field, c.Value);
        for (const auto& [name, id] : kFrames)
            if (c.Field == name) edit.SetFrame(id, c.Value);
        if (c.Field == "comment") edit.SetComment(c.Value);
    }
    std::string problem;
    if (const auto track = PairText(changes, now, "track", "track_total", problem)) edit.Set(TTagField::Track, *track);
    if (const auto disc = PairText(changes, now, "disc", "disc_total", problem)) edit.Set(TTagField::Disc, *disc);
    if (pictures) {
        edit.Remove("APIC");
        // Two pictures of one type and description are one in ID3v2: the later stays.
        for (const TPicture& p : *pictures) edit.SetPicture(p.Description, p.Type, p.MimeType, p.Data);
    }
}

}  // namespace

std::optional<std::vector<std::string>> PlanTagValues(const fs::path& path, const TTagValues& values,
                                                      TMessageSink& sink) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        sink.Error("the file is not there any more");
        return std::nullopt;
    }
    TMP3Object file(sink);
    if (!file.LoadFile(path, false)) return std::nullopt;
    std::vector<TFieldChange> changes;
    std::string problem;
    std::vector<std::string> names = Plan(path, file, values, changes, problem);
    if (!problem.empty()) {
        sink.Error(problem);
        return std::nullopt;
    }
    return names;
}

TTagWrite WriteTagValues(const fs::path& path, const TTagValues& values, TMessageSink& sink,
                         std::vector<std::string>* changed) {
    TMP3Object file(sink);
    if (!file.LoadForChange(path)) return TTagWrite::Failed;
    std::vector<TFieldChange> changes;
    std::string problem;
    const std::vector<std::string> names = Plan(path, file, values, changes, problem);
    if (!problem.empty()) {
        sink.Error(problem);
        return TTagWrite::Failed;
    }
    if (changed) *changed = names;
    if (names.empty()) return TTagWrite::Unchanged;
    const bool pictures = std::find(names.begin(), names.end(), "pictures") != names.end();
    Apply(file, changes, pictures ? values.Pictures : std::nullopt);
    // The tags the file has are written; a file without an ID3v2 tag gets one. A new
    // ID3v1 tag would take its values from the ID3v2 tag, as `set` gives it.
    const bool writeV1 = file.ID3v1().Present;
    if (writeV1) FillNewID3v1(file);
    return file.SaveFile(path, true, file.Lyrics3().Present, writeV1) ? TTagWrite::Written : TTagWrite::Failed;
}

}  // namespace velmar
