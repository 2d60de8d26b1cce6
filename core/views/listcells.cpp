#include "listcells.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "mpeg/mpegframe.h"

namespace velmar {

namespace {

// Text fields may carry the zero characters that ended them in the tag.
std::string Shown(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && text[end - 1] == '\0') --end;
    return text.substr(0, end);
}

// "Path" keeps its trailing separator, so that Path + Filename is the full name again.
void PutNameCells(std::map<std::string, std::string>& cells, const std::string& fullFileName) {
    const std::string name = std::filesystem::path(fullFileName).filename().string();
    cells["Path"] = fullFileName.substr(0, fullFileName.size() - name.size());
    cells["Filename"] = name;
}

void Put(std::map<std::string, std::string>& cells, const std::string& caption, const std::string& text) {
    if (!text.empty()) cells[caption] = text;
}

// Fills a cell only when the ID3v2 tag left it empty.
void PutIfEmpty(std::map<std::string, std::string>& cells, const std::string& caption, const std::string& text) {
    if (!cells.contains(caption)) Put(cells, caption, text);
}

std::string GenreText(const TTCONFrame& tcon) {
    const std::string refinement = Shown(tcon.Refinement);
    if (!refinement.empty()) return refinement;
    // Names rather than numbers decide: "(RX)" and "(CR)" have names but no number.
    std::string text = tcon.Genre1Name;
    if (!tcon.Genre2Name.empty()) text += (text.empty() ? "" : "/") + tcon.Genre2Name;
    return text;
}

}  // namespace

const std::vector<TColumnDefault>& ColumnCatalogue() {
    static const std::vector<TColumnDefault> catalogue = {
        {"Path", 65, 0},       {"Filename", 100, 1},  {"Tags", 36, 2},   {"Artist / Group", 130, 3},
        {"Title", 130, 4},     {"Album", 130, 5},     {"Remix", 100, 6}, {"Track", 41, 7},
        {"Length", 45, 8},     {"Attribs", 50, -1},   {"Size", 50, -1},  {"Comment(s)", 50, -1},
        {"Sub-Title", 50, -1}, {"BPM", 50, -1},       {"Year", 50, -1},  {"CD", 50, -1},
        {"Genre", 50, -1},     {"Att. Pics", 50, -1},
    };
    return catalogue;
}

int DefaultColumnWidth(const std::string& caption) {
    for (const TColumnDefault& column : ColumnCatalogue())
        if (caption == column.Caption) return column.Width;
    return 50;
}

namespace {

const std::map<std::string, std::string, std::less<>>& EditableCells() {
    static const std::map<std::string, std::string, std::less<>> cells = {
        {"Title", "title"}, {"Artist / Group", "artist"}, {"Album", "album"},        {"Year", "year"},
        {"Track", "track"}, {"Genre", "genre"},           {"Comment(s)", "comment"},
    };
    return cells;
}

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

}  // namespace

bool IsEditableCell(const std::string& caption) { return EditableCells().count(caption) > 0; }

std::map<std::string, std::string, std::less<>> CellFieldValues(const std::string& caption, const std::string& text) {
    const auto it = EditableCells().find(caption);
    if (it == EditableCells().end()) return {};
    const std::string value = Trimmed(text);
    if (it->second != "track") return {{it->second, value}};
    // "N/M": the number and the total; "N" leaves the total as it is.
    const size_t slash = value.find('/');
    if (value.empty()) return {{"track", ""}, {"track_total", ""}};
    if (slash == std::string::npos) return {{"track", value}};
    return {{"track", Trimmed(std::string_view(value).substr(0, slash))},
            {"track_total", Trimmed(std::string_view(value).substr(slash + 1))}};
}

TCellAlignment CellAlignment(const std::string& caption) {
    if (caption == "Tags" || caption == "Track" || caption == "Length" || caption == "BPM" || caption == "CD")
        return TCellAlignment::Centre;
    if (caption == "Size" || caption == "Year" || caption == "Att. Pics") return TCellAlignment::Right;
    return TCellAlignment::Left;
}

std::string SizeText(int64_t bytes) {
    if (bytes < 0) bytes = 0;
    const bool kilo = bytes < 1000000;
    const int64_t unit = kilo ? 1024 : 1048576;
    // Tenths of the unit, rounded to the nearest: 9728 bytes are "9,5 Kb".
    const int64_t tenths = (bytes * 10 + unit / 2) / unit;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + (kilo ? " Kb" : " Mb");
}

std::string TagsText(bool id3v1, bool id3v2, bool lyrics3) {
    return std::string(id3v1 ? "1 " : "  ") + (id3v2 ? "2 " : "  ") + (lyrics3 ? "L" : "");
}

std::map<std::string, std::string> ListCells(TMP3Object& file, const std::string& fullFileName) {
    std::map<std::string, std::string> cells;
    Put(cells, "Attribs", file.AttributeLetters);
    PutNameCells(cells, fullFileName);
    cells["Tags"] = TagsText(file.ID3v1().Present, file.ID3v2().Present, file.Lyrics3().Present);
    cells["Size"] = SizeText(file.FileSize);
    Put(cells, "Length", file.SongLength);

    const TID3v2Object& v2 = file.ID3v2();
    if (v2.Present && v2.Valid) {
        if (v2.TXXXCount > 0 && !v2.TXXX.empty()) Put(cells, "User Text(s)", Shown(v2.TXXX.front().Value));
        if (v2.COMMCount > 0 && !v2.COMM.empty()) Put(cells, "Comment(s)", Shown(v2.COMM.front().Text));
        const std::pair<const char*, const TTxtFrame*> texts[] = {
            {"Artist / Group", &v2.TPE1}, {"Title", &v2.TIT2}, {"Sub-Title", &v2.TIT3}, {"Remix", &v2.TPE4},
            {"Album", &v2.TALB},          {"BPM", &v2.TBPM},   {"Year", &v2.TYER},      {"CD", &v2.TPOS},
        };
        for (const auto& [caption, frame] : texts)
            if (frame->FrameHeader.Present) Put(cells, caption, Shown(frame->Text));
        if (v2.TRCK.FrameHeader.Present) {
            std::string track = FormatTwoDigits(v2.TRCK.Number);
            if (v2.TRCK.Total >= 0) track += "/" + FormatTwoDigits(v2.TRCK.Total);
            cells["Track"] = track;
        }
        if (v2.TCON.FrameHeader.Present) Put(cells, "Genre", GenreText(v2.TCON));
        const size_t pictures = std::min(v2.APIC.size(), size_t(std::max(v2.APICCount, 0)));
        if (pictures > 0) cells["Att. Pics"] = std::to_string(pictures);
    }

    const TID3v1Object& v1 = file.ID3v1();
    if (v1.Present) {
        auto field = [](const std::string& f) { return Latin1ToUtf8(TID3v1Object::FieldText(f)); };
        PutIfEmpty(cells, "Artist / Group", field(v1.Artist));
        PutIfEmpty(cells, "Title", field(v1.Title));
        PutIfEmpty(cells, "Album", field(v1.Album));
        PutIfEmpty(cells, "Comment(s)", field(v1.Comment));
        PutIfEmpty(cells, "Year", field(v1.Year));
        PutIfEmpty(cells, "Track", FormatTwoDigits(v1.TrackNumber) + "/?");
        PutIfEmpty(cells, "Genre", v1.GenreName);
    }
    return cells;
}

std::map<std::string, std::string> UnreadableFileCells(const std::string& fullFileName) {
    std::map<std::string, std::string> cells;
    PutNameCells(cells, fullFileName);
    cells["Tags"] = TagsText(false, false, false);
    cells["Size"] = SizeText(0);
    return cells;
}

}  // namespace velmar
