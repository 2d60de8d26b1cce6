#include "settags.h"

#include <charconv>

namespace velmar::cli {

namespace {

bool ParseTrack(const std::string& text, int& number, int& total) {
    const size_t slash = text.find('/');
    auto toInt = [](std::string_view s, int& v) {
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && v >= 0;
    };
    total = -1;
    if (slash == std::string::npos) return toInt(text, number);
    return toInt(std::string_view(text).substr(0, slash), number) && toInt(std::string_view(text).substr(slash + 1), total);
}

bool IsTextFrameID(const std::string& id) {
    return id.size() == 4 && id[0] == 'T' && id != "TXXX" && IsKnownFrameID(id);
}

}  // namespace

std::string ParseSetOptions(const std::vector<std::string>& args, TSetOptions& o, std::vector<std::string>& files) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::optional<std::string>& target) -> std::string {
            if (i + 1 >= args.size()) return a + " needs a value";
            target = args[++i];
            return {};
        };
        std::string error;
        if (a == "--title") error = value(o.Title);
        else if (a == "--artist") error = value(o.Artist);
        else if (a == "--album") error = value(o.Album);
        else if (a == "--year") error = value(o.Year);
        else if (a == "--comment") error = value(o.Comment);
        else if (a == "--genre") error = value(o.Genre);
        else if (a == "--track") {
            error = value(o.Track);
            int n, t;
            if (error.empty() && !ParseTrack(*o.Track, n, t)) error = "--track takes N or N/M, not \"" + *o.Track + "\"";
        } else if (a == "--frame" || a == "--remove") {
            if (i + 1 >= args.size()) return a + " needs a value";
            const std::string v = args[++i];
            const std::string id = a == "--frame" ? v.substr(0, v.find('=')) : v;
            if (a == "--frame") {
                if (v.find('=') == std::string::npos || !IsTextFrameID(id))
                    return "--frame takes ID=TEXT with the identifier of a text frame, not \"" + v + "\"";
                o.Frames.emplace_back(id, v.substr(5));
            } else {
                if (!IsWellFormedFrameID(id)) return "--remove takes a frame identifier, not \"" + v + "\"";
                o.Removals.push_back(id);
            }
        } else if (a == "--v2" || a == "--no-v2") o.WriteV2 = a == "--v2";
        else if (a == "--v1" || a == "--no-v1") o.WriteV1 = a == "--v1";
        else if (a == "--lyrics3" || a == "--no-lyrics3") o.WriteLyrics3 = a == "--lyrics3";
        else if (a == "--replace-v2") o.ReplaceV2 = true;
        else if (a.starts_with("--")) return "unknown option " + a;
        else files.push_back(a);
        if (!error.empty()) return error;
    }
    if (files.empty()) return "set needs at least one file";
    return {};
}

bool SetTags(const std::string& path, const TSetOptions& o, TMessageSink& sink) {
    TMP3Object file(sink);
    if (!file.LoadFile(path, true)) return false;
    TID3v2Object& v2 = file.ID3v2();
    TID3v1Object& v1 = file.ID3v1();

    const bool writeV2 = o.WriteV2.value_or(v2.Present || o.SetsID3v2());
    if (writeV2 && v2.Present && !v2.Valid) {
        if (o.SetsID3v2() && !o.ReplaceV2) {
            sink.Error("The ID3v2 tag (version 2." + std::to_string(v2.Header.MajorVersion) +
                       ") is not understood and was left unchanged; give --replace-v2 to write a new tag over it.");
            return false;
        }
        v2.ReplaceInvalidTag = o.ReplaceV2;
    }

    auto setText = [&](const char* id, const std::string& text) {
        auto* frame = dynamic_cast<TTxtFrame*>(v2.SingleFrame(id));
        frame->SetText(text);
        frame->FrameHeader.Present = true;
        v2.DropRawFrames(id);  // a repeated frame would contradict the new value
    };
    // ID3v1 fields take single-byte text, cut to the field's width.
    auto setV1 = [](std::string& field, const std::string& utf8, size_t width) {
        TID3v1Object::SetField(field, Utf8ToLatin1(utf8), width);
    };

    for (const std::string& id : o.Removals) v2.RemoveFrames(id);
    if (o.Title) { setText("TIT2", *o.Title); setV1(v1.Title, *o.Title, 30); }
    if (o.Artist) { setText("TPE1", *o.Artist); setV1(v1.Artist, *o.Artist, 30); }
    if (o.Album) { setText("TALB", *o.Album); setV1(v1.Album, *o.Album, 30); }
    if (o.Year) { setText("TYER", *o.Year); setV1(v1.Year, *o.Year, 4); }
    if (o.Track) {
        setText("TRCK", *o.Track);
        int number = 0, total = -1;
        ParseTrack(*o.Track, number, total);
        v1.SetTrackNumber(number >= 0 && number <= 255 ? uint8_t(number) : 0);
    }
    if (o.Genre) {
        v2.TCON.SetGenre(*o.Genre);
        v2.TCON.FrameHeader.Present = true;
        v2.DropRawFrames("TCON");
        v1.GenreName = *o.Genre;
    }
    if (o.Comment) {
        // The comment without a description is the one the file lists show.
        TCOMMFrame* comment = nullptr;
        for (int32_t i = 0; i < std::min(v2.COMMCount, int32_t(v2.COMM.size())) && !comment; ++i)
            if (v2.COMM[size_t(i)].Description.empty()) comment = &v2.COMM[size_t(i)];
        if (!comment) {
            v2.COMM.resize(size_t(v2.COMMCount));
            comment = &v2.COMM.emplace_back();
            v2.COMMCount = int32_t(v2.COMM.size());
        }
        comment->Text = *o.Comment;
        setV1(v1.Comment, *o.Comment, v1.TrackNumber ? 28 : 30);
    }
    for (const auto& [id, text] : o.Frames) setText(id.c_str(), text);

    const bool writeV1 = o.WriteV1.value_or(v1.Present);
    const bool writeLyrics3 = o.WriteLyrics3.value_or(file.Lyrics3().Present);
    return file.SaveFile(path, writeV2, writeLyrics3, writeV1);
}

}  // namespace velmar::cli
