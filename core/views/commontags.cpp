#include "views/commontags.h"

#include <algorithm>
#include <array>
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

// The fields, in the order CommonTags gives them.
enum TFieldId : uint8_t {
    kTitle,
    kArtist,
    kAlbum,
    kAlbumArtist,
    kYear,
    kTrack,
    kTrackTotal,
    kDisc,
    kDiscTotal,
    kGenre,
    kComment,
    kComposer,
    kBpm,
    kFieldCount
};
constexpr std::string_view kFieldNames[kFieldCount] = {"title",   "artist",      "album", "album_artist", "year",
                                                       "track",   "track_total", "disc",  "disc_total",   "genre",
                                                       "comment", "composer",    "bpm"};

// The fields as they are found, each in its own slot; the first text found for a field stays.
class TFields {
public:
    // Adds a field the tags have not given yet; an empty text is no value.
    void Add(TFieldId id, std::string_view text, bool numeric = false) {
        if (!text.empty() && !Slots[id]) Put(id, std::string(text), numeric);
    }
    void Add(TFieldId id, std::string&& text, bool numeric = false) {
        if (!text.empty() && !Slots[id]) Put(id, std::move(text), numeric);
    }
    // The frame's text, with the texts of repeats of it that the tag keeps raw: they
    // are more values of the same field.
    void AddText(TFieldId id, const TTxtFrame& frame, const TID3v2Object& v2, std::string_view frameId) {
        if (!frame.FrameHeader.Present) return;
        std::string text = ValueText(frame.Text);
        for (const TRawFrame& raw : v2.RawFrames) {
            const TID3v2FrameHeader& h = raw.FrameHeader;
            if (h.FrameID != frameId || h.Compression || h.Encryption || h.GroupingIdentity || raw.Data.empty() ||
                !IsKnownEncoding(raw.Data[0]))
                continue;
            const std::string more = ValueText(DecodeText(raw.Data[0], raw.Data.data() + 1, raw.Data.size() - 1));
            if (!more.empty()) text += (text.empty() ? "" : "/") + more;
        }
        Add(id, std::move(text));
    }
    // A year: a whole number, or the year that begins a date ("2004-05-06").
    // Other text is no year.
    void AddYear(std::string_view text) {
        std::optional<int64_t> year = WholeNumber(text);
        if (!year) year = WholeNumber(SplitTimestamp24(TrimBlanks(text)).Year);
        if (year && !Slots[kYear]) Slots[kYear] = TCommonTag{kFieldNames[kYear], std::to_string(*year), year};
    }
    void AddNumber(TFieldId id, const TTxtFrame& frame) {
        if (frame.FrameHeader.Present) Add(id, TrimBlanks(ValueText(frame.Text)), true);
    }
    // "N/M" as the number and the total; either side may be missing.
    void AddPair(TFieldId number, TFieldId total, const TTxtFrame& frame) {
        if (!frame.FrameHeader.Present) return;
        const std::string text = ValueText(frame.Text);
        const size_t slash = text.find('/');
        Add(number, TrimBlanks(std::string_view(text).substr(0, slash)), true);
        if (slash != std::string::npos) Add(total, TrimBlanks(std::string_view(text).substr(slash + 1)), true);
    }
    // The fields found, in their order.
    std::vector<TCommonTag> Ordered() && {
        std::vector<TCommonTag> out;
        out.reserve(size_t(std::count_if(Slots.begin(), Slots.end(), [](const auto& f) { return f.has_value(); })));
        for (std::optional<TCommonTag>& field : Slots)
            if (field) out.push_back(std::move(*field));
        return out;
    }

private:
    void Put(TFieldId id, std::string&& text, bool numeric) {
        const std::optional<int64_t> number = numeric ? WholeNumber(text) : std::nullopt;
        Slots[id] = TCommonTag{kFieldNames[id], std::move(text), number};
    }
    std::array<std::optional<TCommonTag>, kFieldCount> Slots;
};

void AddID3v2(TFields& fields, const TID3v2Object& v2) {
    fields.AddText(kTitle, v2.TIT2, v2, "TIT2");
    fields.AddText(kArtist, v2.TPE1, v2, "TPE1");
    fields.AddText(kAlbum, v2.TALB, v2, "TALB");
    fields.AddText(kAlbumArtist, v2.TPE2, v2, "TPE2");
    if (v2.TYER.FrameHeader.Present) fields.AddYear(ValueText(v2.TYER.Text));
    fields.AddPair(kTrack, kTrackTotal, v2.TRCK);
    fields.AddPair(kDisc, kDiscTotal, v2.TPOS);
    if (v2.TCON.FrameHeader.Present) fields.Add(kGenre, GenreNames(v2.TCON));
    // The comment is the plain one: the first without a description.
    const size_t comments = std::min(v2.COMM.size(), size_t(std::max(v2.COMMCount, 0)));
    for (size_t i = 0; i < comments; ++i)
        if (ValueText(v2.COMM[i].Description).empty()) {
            fields.Add(kComment, ValueText(v2.COMM[i].Text));
            break;
        }
    fields.AddText(kComposer, v2.TCOM, v2, "TCOM");
    fields.AddNumber(kBpm, v2.TBPM);
}

void AddID3v1(TFields& fields, const TID3v1Object& v1) {
    auto text = [](const std::string& field) { return SingleByteText(TID3v1Object::FieldText(field)); };
    fields.Add(kTitle, text(v1.Title));
    fields.Add(kArtist, text(v1.Artist));
    fields.Add(kAlbum, text(v1.Album));
    fields.AddYear(text(v1.Year));
    if (v1.TrackNumber != 0) fields.Add(kTrack, std::to_string(v1.TrackNumber), true);
    fields.Add(kGenre, SingleByteText(v1.GenreName));
    fields.Add(kComment, text(v1.Comment));
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
        fields.Add(kTitle, SingleByteText(l3.ExtTitle));
        fields.Add(kArtist, SingleByteText(l3.ExtArtist));
        fields.Add(kAlbum, SingleByteText(l3.ExtAlbum));
    }
    return std::move(fields).Ordered();
}

}  // namespace velmar
