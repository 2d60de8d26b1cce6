#include "report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <sstream>

#include "say.h"
#include "tags/frameview.h"
#include "views/commontags.h"

namespace velmar::cli {

namespace {

// Appends a character's or a byte's value by `form`, "\\u%04x" or "\\x%02x".
void AppendHex(std::string& out, const char* form, unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, form, value);
    out += hex;
}


// A text without the zero bytes that end it, where it lies.
std::string_view Shown(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && text[end - 1] == '\0') --end;
    return text.substr(0, end);
}

std::string Quote(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    AppendJsonString(out, s);
    return out;
}

// Where a JSON record is written: a cursor into a string that grows in large steps,
// so that each piece costs a bounds check and a copy, not a call into the string.
// The string is cut to what was written when the writer goes.
class TJsonOut {
public:
    explicit TJsonOut(std::string& text) : Text(text), Used(text.size()) {}
    ~TJsonOut() { Text.resize(Used); }
    TJsonOut(const TJsonOut&) = delete;
    TJsonOut& operator=(const TJsonOut&) = delete;

    void Put(char c) {
        *Room(1) = c;
        ++Used;
    }
    void Put(std::string_view piece) {
        piece.copy(Room(piece.size()), piece.size());
        Used += piece.size();
    }
    // A JSON string, quoted, with what needs it escaped.
    void PutString(std::string_view s) {
        if (JsonPlainLength(s) != s.size()) {
            std::string escaped;
            AppendJsonString(escaped, s);
            return Put(escaped);
        }
        char* to = Room(s.size() + 2);
        to[0] = '"';
        s.copy(to + 1, s.size());
        to[s.size() + 1] = '"';
        Used += s.size() + 2;
    }
    void PutNumber(int64_t value) {
        char* to = Room(24);
        Used += size_t(std::to_chars(to, to + 24, value).ptr - to);
    }

private:
    char* Room(size_t n) {
        if (Text.size() - Used < n) Text.resize(std::max({2 * Text.size(), Used + n, size_t(2048)}));
        return Text.data() + Used;
    }
    std::string& Text;
    size_t Used;
};

// One JSON object written in place: fields in the order they are added, nested
// objects written where they stand, no text made apart.
class TJsonObject {
public:
    explicit TJsonObject(TJsonOut& out) : Out(out) { Out.Put('{'); }
    TJsonObject& Raw(std::string_view key, std::string_view json) {
        Key(key);
        Out.Put(json);
        return *this;
    }
    TJsonObject& Str(std::string_view key, std::string_view value) {
        Key(key);
        Out.PutString(value);
        return *this;
    }
    TJsonObject& Num(std::string_view key, int64_t value) {
        Key(key);
        Out.PutNumber(value);
        return *this;
    }
    TJsonObject& Bool(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
    // The key of a field whose value the caller writes next, into the writer returned.
    TJsonOut& Field(std::string_view key) {
        Key(key);
        return Out;
    }
    void End() { Out.Put('}'); }

private:
    // Keys are this program's own names in plain ASCII: they are written as they are.
    void Key(std::string_view key) {
        if (!First) Out.Put(',');
        First = false;
        Out.Put('"');
        Out.Put(key);
        Out.Put("\":");
    }
    TJsonOut& Out;
    bool First = true;
};

std::string Latin1Field(const std::string& field) { return Latin1ToUtf8(TID3v1Object::FieldText(field)); }
std::string Latin1Bytes(const TBytes& b) {
    return Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

void FrameJson(const TFrameView& v, TJsonOut& out) {
    TJsonObject o(out);
    o.Str("id", v.FrameID);
    const std::string& id = v.FrameID;
    switch (v.Kind) {
        case TFrameKind::Text: o.Str("text", Shown(v.Text("Text"))); break;
        case TFrameKind::UserText:
            o.Str("description", Shown(v.Text("Description"))).Str("value", Shown(v.Text("Value")));
            break;
        case TFrameKind::UserUrl:
            o.Str("description", Shown(v.Text("Description"))).Str("url", Shown(v.Text("URL")));
            break;
        case TFrameKind::Url: o.Str("url", Shown(v.Text("URL"))); break;
        case TFrameKind::Comment:
            o.Str("language", v.Text("Language"))
                .Str("description", Shown(v.Text("Description")))
                .Str("text", Shown(v.Text("Text")));
            break;
        case TFrameKind::Picture:
            o.Str("mime", v.Text("MIMEType"))
                .Num("picture_type", v.Number("PictureType"))
                .Str("description", Shown(v.Text("Description")))
                .Num("data_size", int64_t(v.Bytes("PictureData").size()));
            break;
        case TFrameKind::Raw: {
            // Raw text and URL frames are decoded as the known ones are.
            const std::span<const uint8_t> data = v.Bytes("Data");
            if (!id.empty() && id[0] == 'T' && !data.empty() && IsKnownEncoding(data[0]) && id != "TXXX")
                o.Str("text", Shown(DecodeText(data[0], data.data() + 1, data.size() - 1)));
            else if (!id.empty() && id[0] == 'W' && id != "WXXX")
                o.Str("url", Shown(DecodeText(0, data.data(), data.size())));
            o.Num("data_size", int64_t(data.size()));
            break;
        }
        case TFrameKind::Other: o.Num("data_size", v.Size); break;
    }
    o.End();
}

// One line of the text report for a frame, without its line end.
void WriteFrameLine(std::ostream& out, const TFrameView& v) {
    switch (v.Kind) {
        case TFrameKind::Text: out << ShownText(v.Text("Text")); return;
        case TFrameKind::UserText:
            out << ShownText(v.Text("Description")) << " = " << ShownText(v.Text("Value"));
            return;
        case TFrameKind::Comment:
            out << "[" << v.Text("Language") << "] " << ShownText(v.Text("Description")) << ": "
                << ShownText(v.Text("Text"));
            return;
        case TFrameKind::Url: out << v.Text("URL"); return;
        case TFrameKind::UserUrl: out << ShownText(v.Text("Description")) << " = " << v.Text("URL"); return;
        case TFrameKind::Picture: {
            const size_t type = size_t(v.Number("PictureType"));
            out << v.Text("MIMEType") << ", " << (type < PictureTypeNames().size() ? PictureTypeNames()[type] : "Other")
                << ", " << v.Bytes("PictureData").size() << " bytes";
            return;
        }
        case TFrameKind::Raw:
        case TFrameKind::Other: break;
    }
    out << v.Size << " bytes";
}

std::string VersionText(const TID3v2Header& h) {
    return "2." + std::to_string(h.MajorVersion) + "." + std::to_string(h.Revision);
}

// Calls frame(id, member) for each frame the tag holds, in its order, and
// converted(id, text) for a frame of an ID3v2.4 tag that the members keep converted
// into others (TDRC as TYER, TDAT and TIME): such a tag is shown as the file holds it.
template <class TFrameFn, class TConvertedFn>
void ForEachHeldFrame(TID3v2Object& v2, TFrameFn frame, TConvertedFn converted) {
    if (v2.Header.MajorVersion != 4) {
        for (const TFrameRef& ref : v2.FrameOrder)
            if (TID3v2Frame* f = v2.Frame(ref)) frame(ref.FrameID, *f);
        return;
    }
    for (const THeldFrame& held : v2.HeldFrames) {
        if (!held.Member)
            converted(held.FrameID, held.Text);
        else if (TID3v2Frame* f = v2.Frame(*held.Member))
            frame(held.FrameID, *f);
    }
}

}  // namespace

std::string JsonQuoted(std::string_view text) { return Quote(text); }

std::string ShownText(std::string_view text) { return std::string(Shown(text)); }

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t plain = 0;  // where the run of characters not yet copied begins
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = uint8_t(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            ++i;
            continue;
        }
        uint32_t cp = 0;
        const size_t len = c >= 0x80 ? Utf8SequenceAt(text, i, cp) : 0;
        if (len > 0 && cp >= 0xA0) {
            i += len;
            continue;
        }
        out.append(text, plain, i - plain);
        if (len > 0) {  // a C1 control character
            AppendHex(out, "\\u%04x", cp);
            i += len;
        } else {
            switch (c) {
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default: AppendHex(out, "\\x%02x", c);
            }
            ++i;
        }
        plain = i;
    }
    out.append(text, plain);
    return out;
}

namespace {

void MpegJson(const TMP3Object& f, TJsonOut& out) {
    TJsonObject mpeg(out);
    auto textOrNull = [&mpeg](std::string_view key, const std::string& s) {
        if (s.empty() || s == "Undefined")
            mpeg.Raw(key, "null");
        else
            mpeg.Str(key, s);
    };
    auto numberOrNull = [&mpeg](std::string_view key, const std::string& s) {
        mpeg.Raw(key, !s.empty() && s.find_first_not_of("0123456789") == std::string::npos ? s : "null");
    };
    char seconds[32];
    const auto printed = std::to_chars(seconds, seconds + sizeof seconds, f.PlaySeconds, std::chars_format::fixed, 3);
    const std::string_view secondsText =
        printed.ec == std::errc() ? std::string_view(seconds, size_t(printed.ptr - seconds)) : "null";
    mpeg.Str("type", f.MpegType);
    textOrNull("version", f.MpegVersion);
    textOrNull("layer", f.Layer);
    numberOrNull("bitrate", f.Bitrate);
    textOrNull("bitrate_type", f.BitrateType);
    mpeg.Raw("vbr", f.HasFrame ? (f.IsVbr ? "true" : "false") : "null");
    numberOrNull("frequency", f.Frequency);
    textOrNull("mode", f.Mode);
    mpeg.Num("frames", f.Frames)
        .Str("length", f.SongLength)
        .Raw("seconds", secondsText)
        .Num("audio_start", f.AudioStart)
        .Num("audio_end", f.AudioEnd)
        .End();
}

void ID3v1Json(const TID3v1Object& v1, TJsonOut& out) {
    if (!v1.Present) {
        out.Put("null");
        return;
    }
    TJsonObject o(out);
    o.Str("title", Latin1Field(v1.Title))
        .Str("artist", Latin1Field(v1.Artist))
        .Str("album", Latin1Field(v1.Album))
        .Str("year", Latin1Field(v1.Year))
        .Str("comment", Latin1Field(v1.Comment));
    if (v1.TrackNumber)
        o.Num("track", v1.TrackNumber);
    else
        o.Raw("track", "null");
    o.Str("genre", v1.GenreName).Num("genre_index", v1.GenreIndex).End();
}

// The common fields by name; numbers as numbers, a field the file does not have left out.
void TagsJson(const TMP3Object& f, TJsonOut& out) {
    TJsonObject o(out);
    for (const TCommonTag& tag : CommonTags(f)) {
        if (tag.Number)
            o.Num(tag.Name, *tag.Number);
        else
            o.Str(tag.Name, tag.Text);
    }
    o.End();
}

void ID3v2Json(TID3v2Object& v2, TJsonOut& out) {
    if (!v2.Present) {
        out.Put("null");
        return;
    }
    TJsonObject o(out);
    o.Bool("valid", v2.Valid).Str("version", VersionText(v2.Header)).Num("size", v2.TagSizeOnDisk());
    TJsonOut& frames = o.Field("frames");
    frames.Put('[');
    bool first = true;
    auto comma = [&] {
        if (!first) frames.Put(',');
        first = false;
    };
    ForEachHeldFrame(
        v2,
        [&](const std::string& id, TID3v2Frame& frame) {
            comma();
            // Text frames, most of every tag, are written from their text without a view.
            if (frame.Kind() == TFrameKind::Text)
                TJsonObject(frames).Str("id", id).Str("text", Shown(static_cast<const TTxtFrame&>(frame).Text)).End();
            else
                FrameJson(ViewOf(frame, id), frames);
        },
        [&](const std::string& id, const std::string& text) {
            comma();
            TJsonObject(frames).Str("id", id).Str("text", text).End();
        });
    frames.Put(']');
    o.End();
}

void Lyrics3Json(const TLyricsObject& ly, TJsonOut& out) {
    if (!ly.Present) {
        out.Put("null");
        return;
    }
    TJsonObject o(out);
    o.Num("size", ly.Size)
        .Str("author", Latin1ToUtf8(ly.Author))
        .Str("ext_album", Latin1ToUtf8(ly.ExtAlbum))
        .Str("ext_artist", Latin1ToUtf8(ly.ExtArtist))
        .Str("ext_title", Latin1ToUtf8(ly.ExtTitle))
        .Str("lyrics", Latin1Bytes(ly.Lyrics))
        .Str("info", Latin1Bytes(ly.Info))
        .Str("images", Latin1Bytes(ly.Images))
        .Bool("has_lyrics", ly.HasLyrics)
        .Bool("has_timestamps", ly.HasTimestamps)
        .End();
}

// The messages about a file in plain words, as standard error says them.
void PlainArray(const std::string& path, const std::vector<std::string>& messages, TJsonOut& out) {
    out.Put('[');
    for (size_t i = 0; i < messages.size(); ++i) {
        if (i > 0) out.Put(',');
        out.PutString(PlainMessage(path, messages[i]));
    }
    out.Put(']');
}

}  // namespace

std::string FailedJsonRecord(const std::string& path, const std::string& why, const std::vector<std::string>& messages) {
    std::string text;
    {
        TJsonOut out(text);
        TJsonObject o(out);
        o.Str("path", path).Str("error", PlainMessage(path, why));
        PlainArray(path, messages, o.Field("errors"));
        o.End();
    }
    return text;
}

std::string UnreadJsonRecord(const std::string& path, const std::vector<std::string>& messages) {
    std::string_view why = messages.empty() ? std::string_view("the file could not be read") : messages.back();
    if (why.starts_with("Error: ")) why.remove_prefix(7);
    return FailedJsonRecord(path, std::string(why), messages);
}

std::string JsonRecord(TMP3Object& f, const std::string& path, const std::vector<std::string>& errors) {
    if (!f.LoadFailure.empty()) return FailedJsonRecord(path, f.LoadFailure, errors);
    std::string text;
    {
        TJsonOut out(text);
        TJsonObject rec(out);
        rec.Str("path", path).Num("size", f.FileSize).Str("attributes", f.AttributeLetters);
        MpegJson(f, rec.Field("mpeg"));
        TagsJson(f, rec.Field("tags"));
        ID3v1Json(f.ID3v1(), rec.Field("id3v1"));
        ID3v2Json(f.ID3v2(), rec.Field("id3v2"));
        Lyrics3Json(f.Lyrics3(), rec.Field("lyrics3"));
        PlainArray(path, errors, rec.Field("errors"));
        rec.End();
    }
    return text;
}

namespace {

// The lines of a text record. Each line is made in `Line` and shown with Printable
// as it ends, so a name or tag text never adds a line of its own nor reaches a
// terminal as a control character.
struct TTextLines {
    std::ostringstream Line;
    std::string Text;
    void End() {
        Text += Printable(std::move(Line).str());
        Text += '\n';
        Line.str({});
    }
};

}  // namespace

std::string TextRecord(TMP3Object& f, const std::string& path, const std::vector<std::string>& errors) {
    TTextLines lines;
    std::ostringstream& out = lines.Line;
    out << path;
    lines.End();
    auto errorLines = [&] {
        for (const auto& e : errors) {
            out << "  Error: " << PlainMessage(path, e);
            lines.End();
        }
    };
    if (!f.LoadFailure.empty()) {  // a file that could not be read has no facts to show
        errorLines();
        return std::move(lines.Text);
    }
    out << "  Size: " << f.FileSize << " bytes"
        << (f.AttributeLetters.empty() ? "" : "  Attributes: " + f.AttributeLetters);
    lines.End();
    if (f.HasFrame) {
        out << "  MPEG Type: " << f.MpegType << "  " << f.MpegVersion << " " << f.Layer << "  " << f.Bitrate
            << " kbit/s " << f.BitrateType << "  " << f.Frequency << " Hz  " << f.Mode;
        lines.End();
        out << "  Total Frames: " << f.TotalFrames << "  Song Length: " << f.SongLength << "  Audio: " << f.AudioStart
            << "-" << f.AudioEnd;
    } else {
        out << "  No MPEG frame found";
    }
    lines.End();
    const TID3v1Object& v1 = f.ID3v1();
    if (v1.Present) {
        out << "  ID3v1: " << Latin1Field(v1.Artist) << " - " << Latin1Field(v1.Title) << " | " << Latin1Field(v1.Album)
            << " | " << Latin1Field(v1.Year) << " | track " << (v1.TrackText.empty() ? "-" : v1.TrackText) << " | "
            << v1.GenreName << " | " << Latin1Field(v1.Comment);
        lines.End();
    }
    TID3v2Object& v2 = f.ID3v2();
    if (v2.Present) {
        out << "  ID3v" << VersionText(v2.Header) << ", " << v2.TagSizeOnDisk() << " bytes"
            << (v2.Valid ? "" : " (not understood)");
        lines.End();
        ForEachHeldFrame(
            v2,
            [&](const std::string& id, TID3v2Frame& frame) {
                out << "    " << id << ": ";
                WriteFrameLine(out, ViewOf(frame, id));
                lines.End();
            },
            [&](const std::string& id, const std::string& text) {
                out << "    " << id << ": " << text;
                lines.End();
            });
    }
    const TLyricsObject& ly = f.Lyrics3();
    if (ly.Present) {
        out << "  Lyrics3 v2.00, " << ly.Size << " bytes" << (ly.HasLyrics ? ", with lyrics" : "");
        lines.End();
    }
    errorLines();
    return std::move(lines.Text);
}

}  // namespace velmar::cli
