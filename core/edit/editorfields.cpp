#include "edit/editorfields.h"

#include <strings.h>

#include <algorithm>

#include "edit/tagedit.h"

namespace velmar {

namespace {

template <typename T>
size_t InUse(const std::vector<T>& frames, int32_t count) {
    return std::min(frames.size(), size_t(std::max(count, 0)));
}

// Replaces every frame of a multi-instance identifier by `frames`, in the place the
// first of the old ones stood in the tag's order (at the end when there was none).
template <typename T>
void ReplaceFrames(TID3v2Object& tag, std::vector<T>& member, int32_t& count, const char* id, std::vector<T> frames) {
    auto& order = tag.FrameOrder;
    const auto first = std::find_if(order.begin(), order.end(),
                                    [id](const TFrameRef& r) { return r.Kind == TFrameRef::Multi && r.FrameID == id; });
    const auto at = first - order.begin();
    std::erase_if(order, [id](const TFrameRef& r) { return r.Kind == TFrameRef::Multi && r.FrameID == id; });
    std::vector<TFrameRef> refs;
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i].FrameHeader.Present = true;
        refs.push_back({id, TFrameRef::Multi, int32_t(i)});
    }
    order.insert(order.begin() + std::min<ptrdiff_t>(at, ptrdiff_t(order.size())), refs.begin(), refs.end());
    member = std::move(frames);
    count = int32_t(member.size());
}

uint64_t CounterValue(const TBytes& bytes) {
    uint64_t value = 0;
    for (const uint8_t b : bytes) value = value << 8 | b;
    return value;
}

TBytes CounterBytes(uint64_t value) {
    TBytes bytes;
    do {
        bytes.insert(bytes.begin(), uint8_t(value & 0xFF));
        value >>= 8;
    } while (value != 0 || bytes.size() < 4);  // at least four bytes
    return bytes;
}

std::string V1Field(const std::string& stored) { return Latin1ToUtf8(TID3v1Object::FieldText(stored)); }

std::string BytesText(const TBytes& bytes) { return Latin1ToUtf8(std::string(bytes.begin(), bytes.end())); }
TBytes TextBytes(const std::string& utf8) {
    const std::string latin1 = Utf8ToLatin1(utf8);
    return TBytes(latin1.begin(), latin1.end());
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

template <typename TFrame>
std::vector<TLangTextItem> LangTexts(const std::vector<TFrame>& frames, int32_t count) {
    std::vector<TLangTextItem> items;
    for (size_t i = 0; i < InUse(frames, count); ++i)
        items.push_back({frames[i].Language, frames[i].Description, frames[i].Text});
    return items;
}

// One frame per item, each filled from its item by `fill`.
template <typename TFrame, typename TItem, typename TFill>
std::vector<TFrame> FramesOf(const std::vector<TItem>& items, TFill fill) {
    std::vector<TFrame> frames(items.size());
    for (size_t i = 0; i < items.size(); ++i) fill(frames[i], items[i]);
    return frames;
}

// Replaces a list's frames when its items were edited.
template <typename TFrame, typename TItem, typename TFill>
void ApplyList(TID3v2Object& tag, std::vector<TFrame>& member, int32_t& count, const char* id,
               const std::vector<TItem>& read, const std::vector<TItem>& edited, TFill fill) {
    if (read != edited) ReplaceFrames(tag, member, count, id, FramesOf<TFrame>(edited, fill));
}

void FillLangText(TCOMMFrame& f, const TLangTextItem& item) {
    f.Language = item.Language.empty() ? "eng" : item.Language.substr(0, 3);
    f.Description = item.Description;
    f.Text = item.Text;
}

void ReadLists(TID3v2Object& v2, TEditorFields& f) {
    f.Comments = LangTexts(v2.COMM, v2.COMMCount);
    f.Lyrics = LangTexts(v2.USLT, v2.USLTCount);
    for (size_t i = 0; i < InUse(v2.TXXX, v2.TXXXCount); ++i)
        f.UserTexts.push_back({v2.TXXX[i].Description, v2.TXXX[i].Value});
    for (size_t i = 0; i < InUse(v2.WXXX, v2.WXXXCount); ++i)
        f.UserUrls.push_back({v2.WXXX[i].Description, v2.WXXX[i].URL});
    for (size_t i = 0; i < InUse(v2.APIC, v2.APICCount); ++i)
        f.Pictures.push_back(
            {v2.APIC[i].PictureType, v2.APIC[i].MIMEType, v2.APIC[i].Description, v2.APIC[i].PictureData});
    for (size_t i = 0; i < InUse(v2.POPM, v2.POPMCount); ++i)
        f.Ratings.push_back({v2.POPM[i].Owner, v2.POPM[i].Symbol, CounterValue(v2.POPM[i].Data)});
    if (v2.PCNT.FrameHeader.Present) f.PlayCounter = CounterValue(v2.PCNT.Counter);
    if (v2.IPLS.FrameHeader.Present) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t end; (end = v2.IPLS.People.find('\0', start)) != std::string::npos; start = end + 1)
            parts.push_back(v2.IPLS.People.substr(start, end - start));
        parts.push_back(v2.IPLS.People.substr(start));
        for (size_t i = 0; i + 1 < parts.size(); i += 2) f.People.push_back({parts[i], parts[i + 1]});
        if (parts.size() % 2 == 1 && !parts.back().empty()) f.People.push_back({parts.back(), {}});
    }
}

void ApplyLists(const TEditorFields& read, const TEditorFields& edited, TID3v2Object& v2) {
    ApplyList(v2, v2.COMM, v2.COMMCount, "COMM", read.Comments, edited.Comments, FillLangText);
    ApplyList(v2, v2.USLT, v2.USLTCount, "USLT", read.Lyrics, edited.Lyrics, FillLangText);
    ApplyList(v2, v2.TXXX, v2.TXXXCount, "TXXX", read.UserTexts, edited.UserTexts,
              [](TTXXXFrame& f, const TDescValueItem& item) {
                  f.Description = item.Description;
                  f.Value = item.Value;
              });
    ApplyList(v2, v2.WXXX, v2.WXXXCount, "WXXX", read.UserUrls, edited.UserUrls,
              [](TWXXXFrame& f, const TDescValueItem& item) {
                  f.Description = item.Description;
                  f.URL = item.Value;
              });
    ApplyList(v2, v2.APIC, v2.APICCount, "APIC", read.Pictures, edited.Pictures,
              [](TAPICFrame& f, const TPictureItem& p) {
                  f.PictureType = p.Type;
                  f.PictureTypeName = p.Type < PictureTypeNames().size() ? PictureTypeNames()[p.Type] : "Other";
                  f.MIMEType = p.Mime;
                  f.Description = p.Description;
                  f.PictureData = p.Data;
              });
    ApplyList(v2, v2.POPM, v2.POPMCount, "POPM", read.Ratings, edited.Ratings, [](TPOPMFrame& f, const TRatingItem& r) {
        f.Owner = r.Email;
        f.Symbol = uint8_t(std::clamp(r.Rating, 0, 255));
        f.Data = CounterBytes(r.Counter);
    });
}

// A single frame that is not text: present with its new body, or absent.
void SetSingle(TID3v2Object& v2, TID3v2Frame& frame, const char* id, bool present) {
    const bool was = frame.FrameHeader.Present;
    frame.FrameHeader.Present = present;
    v2.DropRawFrames(id);
    if (present && !was) v2.FrameOrder.push_back({id, TFrameRef::Single, 0});
    if (!present) std::erase_if(v2.FrameOrder, [id](const TFrameRef& r) { return r.FrameID == id; });
}

void ApplySingles(const TEditorFields& read, const TEditorFields& edited, TID3v2Object& v2) {
    if (read.PlayCounter != edited.PlayCounter) {
        if (edited.PlayCounter) v2.PCNT.Counter = CounterBytes(*edited.PlayCounter);
        SetSingle(v2, v2.PCNT, "PCNT", edited.PlayCounter.has_value());
    }
    if (read.People != edited.People) {
        std::string people;
        for (const TPersonItem& p : edited.People)
            people += (people.empty() ? "" : std::string(1, '\0')) + p.Role + '\0' + p.Name;
        v2.IPLS.People = people;
        SetSingle(v2, v2.IPLS, "IPLS", !edited.People.empty());
    }
}

// The frames whose change also sets an ID3v1 field, by the shared rules.
const std::map<std::string, TTagField>& SharedFields() {
    static const std::map<std::string, TTagField> fields = {
        {"TIT2", TTagField::Title}, {"TPE1", TTagField::Artist}, {"TALB", TTagField::Album}, {"TYER", TTagField::Year},
        {"TRCK", TTagField::Track}, {"TCON", TTagField::Genre},  {"TPOS", TTagField::Disc}};
    return fields;
}

// Writes the fields that differ between `read` and `edited`; with `every`, all of them.
void ApplyV1(const TV1Fields& read, const TV1Fields& edited, TID3v1Object& v1, bool every = false) {
    const std::pair<std::string TV1Fields::*, std::string TID3v1Object::*> texts[] = {
        {&TV1Fields::Title, &TID3v1Object::Title},
        {&TV1Fields::Artist, &TID3v1Object::Artist},
        {&TV1Fields::Album, &TID3v1Object::Album},
        {&TV1Fields::Year, &TID3v1Object::Year}};
    for (const auto& [field, stored] : texts)
        if (every || read.*field != edited.*field)
            TID3v1Object::SetField(v1.*stored, Utf8ToLatin1(edited.*field), (v1.*stored).size());
    if (every || read.Track != edited.Track) v1.SetTrackNumber(uint8_t(std::clamp(edited.Track, 0, 255)));
    if (every || read.Comment != edited.Comment || read.Track != edited.Track)
        TID3v1Object::SetField(v1.Comment, Utf8ToLatin1(edited.Comment).substr(0, v1.TrackNumber ? 28 : 30), 30);
    if (every || read.Genre != edited.Genre) {
        v1.GenreName = Utf8ToLatin1(edited.Genre);
        v1.GenreIndex = edited.Genre.empty() ? 255 : 0;  // looked up in the table when written
    }
}

}  // namespace

namespace {

struct TFrameName {
    const char* ID;
    const char* Caption;
};
// The "more texts" frames in a user's order, then the URL frames.
constexpr TFrameName kTextFrames[] = {{"TCOM", "Composer"},
                                      {"TEXT", "Lyricist"},
                                      {"TPE2", "Band / orchestra"},
                                      {"TPE3", "Conductor"},
                                      {"TPE4", "Remixed by"},
                                      {"TOPE", "Original artist"},
                                      {"TOLY", "Original lyricist"},
                                      {"TOAL", "Original album"},
                                      {"TORY", "Original release year"},
                                      {"TIT1", "Content group"},
                                      {"TIT3", "Subtitle"},
                                      {"TPUB", "Publisher"},
                                      {"TCOP", "Copyright"},
                                      {"TENC", "Encoded by"},
                                      {"TSSE", "Encoder settings"},
                                      {"TMED", "Media type"},
                                      {"TLAN", "Language(s)"},
                                      {"TKEY", "Initial key"},
                                      {"TSRC", "ISRC"},
                                      {"TLEN", "Length (ms)"},
                                      {"TDAT", "Date (DDMM)"},
                                      {"TIME", "Time (HHMM)"},
                                      {"TRDA", "Recording dates"},
                                      {"TDLY", "Playlist delay (ms)"},
                                      {"TFLT", "File type"},
                                      {"TOFN", "Original file name"},
                                      {"TOWN", "File owner"},
                                      {"TRSN", "Internet radio station"},
                                      {"TRSO", "Radio station owner"},
                                      {"TSIZ", "Size (bytes)"}};
constexpr TFrameName kUrlFrames[] = {
    {"WOAR", "Official artist webpage"},         {"WOAF", "Official audio file webpage"},
    {"WOAS", "Official audio source webpage"},   {"WCOM", "Commercial information"},
    {"WCOP", "Copyright / legal information"},   {"WPUB", "Publisher's official webpage"},
    {"WORS", "Official radio station homepage"}, {"WPAY", "Payment"}};
constexpr TFrameName kMainFrames[] = {{"TIT2", "Title"}, {"TPE1", "Artist"}, {"TALB", "Album"}, {"TYER", "Year"},
                                      {"TRCK", "Track"}, {"TPOS", "Disc"},   {"TCON", "Genre"}, {"TBPM", "BPM"}};

template <size_t N>
std::vector<std::string> IDs(const TFrameName (&names)[N]) {
    std::vector<std::string> ids;
    for (const TFrameName& n : names) ids.push_back(n.ID);
    return ids;
}

}  // namespace

const std::vector<std::string>& EditableTextFrameIDs() {
    static const std::vector<std::string> ids = IDs(kTextFrames);
    return ids;
}

const std::vector<std::string>& EditableUrlFrameIDs() {
    static const std::vector<std::string> ids = IDs(kUrlFrames);
    return ids;
}

std::string FrameCaption(const std::string& id) {
    for (const TFrameName& n : kTextFrames)
        if (id == n.ID) return n.Caption;
    for (const TFrameName& n : kUrlFrames)
        if (id == n.ID) return n.Caption;
    for (const TFrameName& n : kMainFrames)
        if (id == n.ID) return n.Caption;
    return id;
}

std::string TEditorFields::Frame(const std::string& id) const {
    const auto it = Frames.find(id);
    return it == Frames.end() ? std::string() : it->second;
}

void TEditorFields::SetFrame(const std::string& id, const std::string& text) {
    if (text.empty())
        Frames.erase(id);
    else
        Frames[id] = text;
}

namespace {

// The frames the ID3v2 members hold now, whether read from the file or set since.
void ReadID3v2(TID3v2Object& v2, TEditorFields& f) {
    for (const std::string_view id : kMemberFrameIDs) {
        TID3v2Frame* frame = v2.SingleFrame(id);
        if (!frame || !frame->FrameHeader.Present) continue;
        if (const auto* genre = dynamic_cast<const TTCONFrame*>(frame))
            // The genre as a user names it: its free text, else the name of its number.
            f.Frames["TCON"] = !genre->Refinement.empty()   ? genre->Refinement
                               : !genre->Genre1Name.empty() ? genre->Genre1Name
                                                            : genre->Text;
        else if (const auto* text = dynamic_cast<const TTxtFrame*>(frame))
            f.Frames[std::string(id)] = text->Text;
        else if (const auto* url = dynamic_cast<const TWebFrame*>(frame))
            f.Frames[std::string(id)] = url->URL;
    }
    ReadLists(v2, f);
}

}  // namespace

TEditorFields ReadEditorFields(TMP3Object& file) {
    TEditorFields f;
    TID3v2Object& v2 = file.ID3v2();
    if (v2.Present && v2.Valid) ReadID3v2(v2, f);
    const TID3v1Object& v1 = file.ID3v1();
    if (v1.Present)
        f.V1 = {V1Field(v1.Title),   V1Field(v1.Artist),         V1Field(v1.Album), V1Field(v1.Year),
                V1Field(v1.Comment), Latin1ToUtf8(v1.GenreName), v1.TrackNumber};
    const TLyricsObject& l3 = file.Lyrics3();
    if (l3.Present)
        f.Lyrics3 = {BytesText(l3.Lyrics),
                     BytesText(l3.Info),
                     Latin1ToUtf8(l3.Author),
                     Latin1ToUtf8(l3.ExtAlbum),
                     Latin1ToUtf8(l3.ExtArtist),
                     Latin1ToUtf8(l3.ExtTitle),
                     SplitLines(BytesText(l3.Images))};
    return f;
}

void FillFromOlderTags(const TMP3Object& file, TEditorFields& f) {
    if (file.ID3v2().Present && !file.ID3v2().Valid) return;
    const TV1Fields& v1 = f.V1;
    const TLyrics3Fields& l3 = f.Lyrics3;
    const std::pair<const char*, std::string> older[] = {
        {"TIT2", v1.Title.empty() ? l3.Title : v1.Title},
        {"TPE1", v1.Artist.empty() ? l3.Artist : v1.Artist},
        {"TALB", v1.Album.empty() ? l3.Album : v1.Album},
        {"TYER", v1.Year},
        {"TRCK", v1.Track > 0 ? std::to_string(v1.Track) : std::string()},
        {"TCON", v1.Genre},
    };
    for (const auto& [id, value] : older)
        if (f.Frame(id).empty() && !value.empty()) f.SetFrame(id, value);
    const bool plainComment = std::any_of(f.Comments.begin(), f.Comments.end(),
                                          [](const TLangTextItem& c) { return c.Description.empty(); });
    if (!plainComment && !v1.Comment.empty()) f.Comments.push_back({"eng", "", v1.Comment});
}

void ApplyEditorFields(const TEditorFields& read, const TEditorFields& edited, TMP3Object& file) {
    TID3v2Object& v2 = file.ID3v2();
    TTagEdit edit(file);
    TEditorFields v2Read = read, v2Edited = edited;
    v2Read.V1 = v2Edited.V1 = {};
    v2Read.Lyrics3 = v2Edited.Lyrics3 = {};
    // A tag that was not understood is replaced only when its values were changed.
    if (v2Read != v2Edited) v2.ReplaceInvalidTag = true;
    std::vector<std::string> ids;
    for (const auto& [id, text] : read.Frames) ids.push_back(id);
    for (const auto& [id, text] : edited.Frames) ids.push_back(id);
    for (const std::string& id : ids) {
        const std::string text = edited.Frame(id);
        if (text == read.Frame(id)) continue;
        const auto shared = SharedFields().find(id);
        if (shared == SharedFields().end() || !edit.Set(shared->second, text)) edit.SetFrame(id, text);
    }
    ApplyLists(read, edited, v2);
    ApplySingles(read, edited, v2);
    // The plain comment (the first without a description) is also the ID3v1 comment.
    auto plain = [](const TEditorFields& f) {
        for (const TLangTextItem& c : f.Comments)
            if (c.Description.empty()) return c.Text;
        return std::string();
    };
    if (plain(read) != plain(edited))
        TID3v1Object::SetField(file.ID3v1().Comment,
                               TTagEdit::V1Text(plain(edited), file.ID3v1().TrackNumber ? 28 : 30), 30);
    ApplyV1(read.V1, edited.V1, file.ID3v1());
    if (read.Lyrics3 != edited.Lyrics3) {
        TLyricsObject& l3 = file.Lyrics3();
        l3.Lyrics = TextBytes(edited.Lyrics3.Lyrics);
        l3.Info = TextBytes(edited.Lyrics3.Info);
        l3.Author = Utf8ToLatin1(edited.Lyrics3.Author);
        l3.ExtAlbum = Utf8ToLatin1(edited.Lyrics3.Album);
        l3.ExtArtist = Utf8ToLatin1(edited.Lyrics3.Artist);
        l3.ExtTitle = Utf8ToLatin1(edited.Lyrics3.Title);
        std::string images;
        for (const std::string& line : edited.Lyrics3.Images) images += (images.empty() ? "" : "\r\n") + line;
        l3.Images = TextBytes(images);
    }
}

void ApplyEditorFields(const TEditorFields& read, const TEditorFields& shown, const TEditorFields& edited,
                       TMP3Object& file) {
    if (!(shown == read)) ApplyEditorFields(read, shown, file);
    ApplyEditorFields(shown, edited, file);
}

TV1Fields V1FromFrames(const TEditorFields& f) {
    TV1Fields v1;
    v1.Title = Latin1ToUtf8(TTagEdit::V1Text(f.Frame("TIT2"), 30));
    v1.Artist = Latin1ToUtf8(TTagEdit::V1Text(f.Frame("TPE1"), 30));
    v1.Album = Latin1ToUtf8(TTagEdit::V1Text(f.Frame("TALB"), 30));
    v1.Year = f.Frame("TYER").substr(0, 4);
    int number = 0, total = -1;
    // A number ID3v1 cannot hold is no number there, as when the track is set by name.
    if (TTagEdit::ParseNumberPair(f.Frame("TRCK"), number, total) && number <= 255) v1.Track = number;
    for (const TLangTextItem& c : f.Comments)
        if (c.Description.empty()) {
            v1.Comment = Latin1ToUtf8(TTagEdit::V1Text(c.Text, v1.Track ? 28 : 30));
            break;
        }
    v1.Genre = f.Frame("TCON");
    return v1;
}

void FillNewID3v1(TMP3Object& file, const TV1Fields& own) {
    TID3v1Object& v1 = file.ID3v1();
    if (v1.Present) return;
    TEditorFields now;
    // A tag that is written back as it was read has no values to give.
    if (!file.ID3v2().KeepsUnderstoodTagBytes()) ReadID3v2(file.ID3v2(), now);
    TV1Fields made = V1FromFrames(now);
    for (std::string TV1Fields::*field : {&TV1Fields::Title, &TV1Fields::Artist, &TV1Fields::Album, &TV1Fields::Year,
                                          &TV1Fields::Comment, &TV1Fields::Genre})
        if (!(own.*field).empty()) made.*field = own.*field;
    if (own.Track != 0) made.Track = own.Track;
    ApplyV1({}, made, v1, true);
}

std::string PictureMimeType(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : fileName.substr(dot);
    static const std::pair<const char*, const char*> types[] = {{".jpg", "image/jpeg"},   {".jpeg", "image/jpeg"},
                                                                {".png", "image/png"},    {".gif", "image/gif"},
                                                                {".bmp", "image/bitmap"}, {".ico", "image/ico"}};
    for (const auto& [extension, mime] : types)
        if (strcasecmp(ext.c_str(), extension) == 0) return mime;
    return {};
}

}  // namespace velmar
