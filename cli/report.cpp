#include "report.h"

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

// A small writer of one JSON object: fields in the order they are added, written
// straight into one string.
class TJsonObject {
public:
    // Room for a typical object, so that it grows at most once or twice.
    explicit TJsonObject(size_t room = 256) { Body.reserve(room); }
    TJsonObject& Raw(std::string_view key, std::string_view json) {
        Key(key);
        Body += json;
        return *this;
    }
    TJsonObject& Str(std::string_view key, std::string_view value) {
        Key(key);
        AppendJsonString(Body, value);
        return *this;
    }
    TJsonObject& Num(std::string_view key, int64_t value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        return Raw(key, std::string_view(digits, size_t(end - digits)));
    }
    TJsonObject& Bool(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
    // The object's text; the writer is empty afterwards.
    std::string Text() {
        if (Body.empty()) return "{}";
        Body += '}';
        return std::move(Body);
    }

private:
    void Key(std::string_view key) {
        Body += Body.empty() ? '{' : ',';
        AppendJsonString(Body, key);
        Body += ':';
    }
    std::string Body;
};

std::string Array(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        if (out.size() > 1) out += ',';
        out += item;
    }
    return out + "]";
}

std::string Latin1Field(const std::string& field) { return Latin1ToUtf8(TID3v1Object::FieldText(field)); }
std::string Latin1Bytes(const TBytes& b) {
    return Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

std::string FrameJson(const TFrameView& v) {
    TJsonObject o(96);
    o.Str("id", v.FrameID);
    const std::string& id = v.FrameID;
    switch (v.Kind) {
        case TFrameKind::Text: return o.Str("text", Shown(v.Text("Text"))).Text();
        case TFrameKind::UserText:
            return o.Str("description", Shown(v.Text("Description"))).Str("value", Shown(v.Text("Value"))).Text();
        case TFrameKind::UserUrl:
            return o.Str("description", Shown(v.Text("Description"))).Str("url", Shown(v.Text("URL"))).Text();
        case TFrameKind::Url: return o.Str("url", Shown(v.Text("URL"))).Text();
        case TFrameKind::Comment:
            return o.Str("language", v.Text("Language"))
                .Str("description", Shown(v.Text("Description")))
                .Str("text", Shown(v.Text("Text")))
                .Text();
        case TFrameKind::Picture:
            return o.Str("mime", v.Text("MIMEType"))
                .Num("picture_type", v.Number("PictureType"))
                .Str("description", Shown(v.Text("Description")))
                .Num("data_size", int64_t(v.Bytes("PictureData").size()))
                .Text();
        case TFrameKind::Raw: {
            // Raw text and URL frames are decoded as the known ones are.
            const std::span<const uint8_t> data = v.Bytes("Data");
            if (!id.empty() && id[0] == 'T' && !data.empty() && IsKnownEncoding(data[0]) && id != "TXXX")
                o.Str("text", Shown(DecodeText(data[0], data.data() + 1, data.size() - 1)));
            else if (!id.empty() && id[0] == 'W' && id != "WXXX")
                o.Str("url", Shown(DecodeText(0, data.data(), data.size())));
            return o.Num("data_size", int64_t(data.size())).Text();
        }
        case TFrameKind::Other: break;
    }
    return o.Num("data_size", v.Size).Text();
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

std::string MpegJson(const TMP3Object& f) {
    TJsonObject mpeg;
    auto textOrNull = [](const std::string& s) {
        return s.empty() || s == "Undefined" ? std::string("null") : Quote(s);
    };
    auto numberOrNull = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos ? s : std::string("null");
    };
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", f.PlaySeconds);
    return mpeg.Str("type", f.MpegType)
        .Raw("version", textOrNull(f.MpegVersion))
        .Raw("layer", textOrNull(f.Layer))
        .Raw("bitrate", numberOrNull(f.Bitrate))
        .Raw("bitrate_type", textOrNull(f.BitrateType))
        .Raw("vbr", f.HasFrame ? (f.IsVbr ? "true" : "false") : "null")
        .Raw("frequency", numberOrNull(f.Frequency))
        .Raw("mode", textOrNull(f.Mode))
        .Num("frames", f.Frames)
        .Str("length", f.SongLength)
        .Raw("seconds", seconds)
        .Num("audio_start", f.AudioStart)
        .Num("audio_end", f.AudioEnd)
        .Text();
}

std::string ID3v1Json(const TID3v1Object& v1) {
    if (!v1.Present) return "null";
    TJsonObject o;
    return o.Str("title", Latin1Field(v1.Title))
        .Str("artist", Latin1Field(v1.Artist))
        .Str("album", Latin1Field(v1.Album))
        .Str("year", Latin1Field(v1.Year))
        .Str("comment", Latin1Field(v1.Comment))
        .Raw("track", v1.TrackNumber ? std::to_string(v1.TrackNumber) : "null")
        .Str("genre", v1.GenreName)
        .Num("genre_index", v1.GenreIndex)
        .Text();
}

// The common fields by name; numbers as numbers, a field the file does not have left out.
std::string TagsJson(const TMP3Object& f) {
    TJsonObject o;
    for (const TCommonTag& tag : CommonTags(f)) {
        if (tag.Number)
            o.Num(tag.Name, *tag.Number);
        else
            o.Str(tag.Name, tag.Text);
    }
    return o.Text();
}

std::string ID3v2Json(TID3v2Object& v2) {
    if (!v2.Present) return "null";
    std::string frames = "[";
    frames.reserve(64 * v2.FrameOrder.size() + 2);
    auto comma = [&frames] {
        if (frames.size() > 1) frames += ',';
    };
    ForEachHeldFrame(
        v2,
        [&](const std::string& id, TID3v2Frame& frame) {
            comma();
            frames += FrameJson(ViewOf(frame, id));
        },
        [&](const std::string& id, const std::string& text) {
            comma();
            frames += TJsonObject(48).Str("id", id).Str("text", text).Text();
        });
    frames += ']';
    TJsonObject o;
    return o.Bool("valid", v2.Valid)
        .Str("version", VersionText(v2.Header))
        .Num("size", v2.TagSizeOnDisk())
        .Raw("frames", frames)
        .Text();
}

std::string Lyrics3Json(const TLyricsObject& ly) {
    if (!ly.Present) return "null";
    TJsonObject o;
    return o.Num("size", ly.Size)
        .Str("author", Latin1ToUtf8(ly.Author))
        .Str("ext_album", Latin1ToUtf8(ly.ExtAlbum))
        .Str("ext_artist", Latin1ToUtf8(ly.ExtArtist))
        .Str("ext_title", Latin1ToUtf8(ly.ExtTitle))
        .Str("lyrics", Latin1Bytes(ly.Lyrics))
        .Str("info", Latin1Bytes(ly.Info))
        .Str("images", Latin1Bytes(ly.Images))
        .Bool("has_lyrics", ly.HasLyrics)
        .Bool("has_timestamps", ly.HasTimestamps)
        .Text();
}

// The messages about a file in plain words, as standard error says them.
std::string PlainArray(const std::string& path, const std::vector<std::string>& messages) {
    std::vector<std::string> quoted;
    for (const auto& m : messages) quoted.push_back(Quote(PlainMessage(path, m)));
    return Array(quoted);
}

}  // namespace

std::string FailedJsonRecord(const std::string& path, const std::string& why, const std::vector<std::string>& messages) {
    return TJsonObject()
        .Str("path", path)
        .Str("error", PlainMessage(path, why))
        .Raw("errors", PlainArray(path, messages))
        .Text();
}

std::string UnreadJsonRecord(const std::string& path, const std::vector<std::string>& messages) {
    std::string_view why = messages.empty() ? std::string_view("the file could not be read") : messages.back();
    if (why.starts_with("Error: ")) why.remove_prefix(7);
    return FailedJsonRecord(path, std::string(why), messages);
}

std::string JsonRecord(TMP3Object& f, const std::string& path, const std::vector<std::string>& errors) {
    if (!f.LoadFailure.empty()) return FailedJsonRecord(path, f.LoadFailure, errors);
    TJsonObject rec(1024);
    return rec.Str("path", path)
        .Num("size", f.FileSize)
        .Str("attributes", f.AttributeLetters)
        .Raw("mpeg", MpegJson(f))
        .Raw("tags", TagsJson(f))
        .Raw("id3v1", ID3v1Json(f.ID3v1()))
        .Raw("id3v2", ID3v2Json(f.ID3v2()))
        .Raw("lyrics3", Lyrics3Json(f.Lyrics3()))
        .Raw("errors", PlainArray(path, errors))
        .Text();
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
