#include "views/commontags.h"

#include <algorithm>
#include <charconv>

#include "tags/id3v2upgrade.h"

namespace velmar {

namespace {

// A frame's text as a value: without the zero characters that end it, and with
// values separated by zero characters joined with "/", as ID3v2.4 values are.
std::string ValueText(std::string_view text) {
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    std::string value(text);
    std::replace(value.begin(), value.end(), '\0', '/');
    return value;
}

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// An ID3v1 or Lyrics3 text: single-byte, padded with blanks by some writers.
std::string SingleByteText(std::string_view latin1) { return Latin1ToUtf8(TrimBlanks(latin1)); }

// The fields by name as they are found; the first text found for a field stays.
class TFields {
public:
    // Room for every field a file may have, at once.
    TFields() { Fields.reserve(16); }
    // Adds a field the tags have not given yet; an empty text is no value.
    void Add(std::string_view name, std::string_view text, bool numeric = false) {
        if (!text.empty() && !Find(name)) Put(name, std::string(text), numeric);
    }
    void Add(std::string_view name, std::string&& text, bool numeric = false) {
        if (!text.empty() && !Find(name)) Put(name, std::move(text), numeric);
    }
    // The frame's text, with the texts of repeats of it that the tag keeps raw: they
    // are more values of the same field.
    void AddText(std::string_view name, const TTxtFrame& frame, const TID3v2Object& v2, std::string_view id) {
        if (!frame.FrameHeader.Present) return;
        std::string text = ValueText(frame.Text);
        for (const TRawFrame& raw : v2.RawFrames) {
            const TID3v2FrameHeader& h = raw.FrameHeader;
            if (h.FrameID != id || h.Compression || h.Encryption || h.GroupingIdentity || raw.Data.empty() ||
                !IsKnownEncoding(raw.Data[0]))
                continue;
            const std::string more = ValueText(DecodeText(raw.Data[0], raw.Data.data() + 1, raw.Data.size() - 1));
            if (!more.empty()) text += (text.empty() ? "" : "/") + more;
        }
        Add(name, std::move(text));
    }
    // A year: a whole number, or the year that begins a date ("2004-05-06").
    // Other text is no year.
    void AddYear(std::string_view text) {
        std::optional<int64_t> year = WholeNumber(text);
        if (!year) year = WholeNumber(SplitTimestamp24(TrimBlanks(text)).Year);
        if (year && !Find("year")) Fields.push_back({"year", std::to_string(*year), year});
    }
    void AddNumber(std::string_view name, const TTxtFrame& frame) {
        if (frame.FrameHeader.Present) Add(name, TrimBlanks(ValueText(frame.Text)), true);
    }
    // "N/M" as the number and the total; either side may be missing.
    void AddPair(std::string_view number, std::string_view total, const TTxtFrame& frame) {
        if (!frame.FrameHeader.Present) return;
        const std::string text = ValueText(frame.Text);
        const size_t slash = text.find('/');
        Add(number, TrimBlanks(std::string_view(text).substr(0, slash)), true);
        if (slash != std::string::npos) Add(total, TrimBlanks(std::string_view(text).substr(slash + 1)), true);
    }
    // In the order of `names`.
    std::vector<TCommonTag> Ordered(std::initializer_list<std::string_view> names) && {
        std::vector<TCommonTag> out;
        out.reserve(Fields.size());
        for (const std::string_view name : names)
            if (TCommonTag* field = Find(name)) out.push_back(std::move(*field));
        return out;
    }

private:
    void Put(std::string_view name, std::string&& text, bool numeric) {
        const std::optional<int64_t> number = numeric ? WholeNumber(text) : std::nullopt;
        Fields.push_back({name, std::move(text), number});
    }
    TCommonTag* Find(std::string_view name) {
        const auto it = std::find_if(Fields.begin(), Fields.end(), [name](const TCommonTag& f) { return f.Name == name; });
        return it == Fields.end() ? nullptr : &*it;
    }
    std::vector<TCommonTag> Fields;
};

void AddID3v2(TFields& fields, const TID3v2Object& v2) {
    fields.AddText("title", v2.TIT2, v2, "TIT2");
    fields.AddText("artist", v2.TPE1, v2, "TPE1");
    fields.AddText("album", v2.TALB, v2, "TALB");
    fields.AddText("album_artist", v2.TPE2, v2, "TPE2");
    if (v2.TYER.FrameHeader.Present) fields.AddYear(ValueText(v2.TYER.Text));
    fields.AddPair("track", "track_total", v2.TRCK);
    fields.AddPair("disc", "disc_total", v2.TPOS);
    if (v2.TCON.FrameHeader.Present) fields.Add("genre", GenreNames(v2.TCON));
    // The comment is the plain one: the first without a description.
    const size_t comments = std::min(v2.COMM.size(), size_t(std::max(v2.COMMCount, 0)));
    for (size_t i = 0; i < comments; ++i)
        if (ValueText(v2.COMM[i].Description).empty()) {
            fields.Add("comment", ValueText(v2.COMM[i].Text));
            break;
        }
    fields.AddText("composer", v2.TCOM, v2, "TCOM");
    fields.AddNumber("bpm", v2.TBPM);
}

void AddID3v1(TFields& fields, const TID3v1Object& v1) {
    auto text = [](const std::string& field) { return SingleByteText(TID3v1Object::FieldText(field)); };
    fields.Add("title", text(v1.Title));
    fields.Add("artist", text(v1.Artist));
    fields.Add("album", text(v1.Album));
    fields.AddYear(text(v1.Year));
    if (v1.TrackNumber != 0) fields.Add("track", std::to_string(v1.TrackNumber), true);
    fields.Add("genre", SingleByteText(v1.GenreName));
    fields.Add("comment", text(v1.Comment));
}

}  // namespace

std::optional<int64_t> WholeNumber(std::string_view text) {
    text = TrimBlanks(text);
    int64_t value = 0;
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;  // too large
    return value;
}

std::string GenreNames(const TTCONFrame& tcon) {
    // The frame has parsed its references into names already; free text that is not
    // one of those names adds a genre of its own.
    std::vector<std::string> names;
    for (const std::string* name : {&tcon.Genre1Name, &tcon.Genre2Name})
        if (!name->empty()) names.push_back(*name);
    const std::string refinement = ValueText(tcon.Refinement);
    if (!refinement.empty() && std::find(names.begin(), names.end(), refinement) == names.end())
        names.push_back(refinement);
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : "/") + name;
    return joined;
}

std::vector<TCommonTag> CommonTags(const TMP3Object& file) {
    TFields fields;
    if (file.ID3v2().Present) AddID3v2(fields, file.ID3v2());
    if (file.ID3v1().Present) AddID3v1(fields, file.ID3v1());
    if (const TLyricsObject& l3 = file.Lyrics3(); l3.Present) {
        fields.Add("title", SingleByteText(l3.ExtTitle));
        fields.Add("artist", SingleByteText(l3.ExtArtist));
        fields.Add("album", SingleByteText(l3.ExtAlbum));
    }
    return std::move(fields).Ordered({"title", "artist", "album", "album_artist", "year", "track", "track_total",
                                      "disc", "disc_total", "genre", "comment", "composer", "bpm"});
}

}  // namespace velmar
