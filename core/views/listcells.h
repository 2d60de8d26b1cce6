#pragma once
// The texts a file list shows for one audio file: one cell per column caption.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "file/mp3object.h"

namespace velmar {

// Column captions the file list knows, in catalogue order, with their default
// widths and default positions (-1: not shown by default).
struct TColumnDefault {
    const char* Caption;
    int Width;
    int Position;
};
const std::vector<TColumnDefault>& ColumnCatalogue();  // "Path" ... "Att. Pics"
// The default width of a column: its catalogue width, 50 for one the catalogue lacks.
int DefaultColumnWidth(const std::string& caption);

// Cells edited in place write fields of the common tags by name (views/commontags.h):
// "Title" title, "Artist / Group" artist, "Album" album, "Year" year, "Track" track
// (and track_total, typed as "N/M"), "Genre" genre, "Comment(s)" comment.
bool IsEditableCell(const std::string& caption);
// The field values a text typed into a cell of the column gives, blanks around it
// removed; an empty text removes the field (for "Track", the total too). Empty for a
// column that is not edited in place.
std::map<std::string, std::string, std::less<>> CellFieldValues(const std::string& caption, const std::string& text);

enum class TCellAlignment { Left, Centre, Right };
TCellAlignment CellAlignment(const std::string& caption);  // "User Text(s)" included

// The cell texts of a loaded file by caption ("Path", "Filename", "Tags", "Artist / Group",
// "Title", "Album", "Remix", "Track", "Length", "Attribs", "Size", "Comment(s)", "Sub-Title",
// "BPM", "Year", "CD", "Genre", "Att. Pics", "User Text(s)"). ID3v2 values win over ID3v1
// values cell by cell; a cell with nothing to show is absent from the map.
std::map<std::string, std::string> ListCells(TMP3Object& file, const std::string& fullFileName);
// The cells of a file that could not be loaded: "Path", "Filename", "Tags" (four blanks), "Size".
std::map<std::string, std::string> UnreadableFileCells(const std::string& fullFileName);

std::string SizeText(int64_t bytes);  // "%d,%d Kb" below 1000000 bytes, else "%d,%d Mb"
std::string TagsText(bool id3v1, bool id3v2, bool lyrics3);

}  // namespace velmar
