#include "batch/filltags.h"

#include <charconv>

#include "edit/editorfields.h"
#include "edit/tagedit.h"

namespace velmar {

namespace {

std::string TwoDigits(const std::string& text) {
    return text.size() >= 2 ? text : std::string(2 - text.size(), '0') + text;
}

// A track number of digits only ("001" is 1); 0 when the text is not one.
int TrackNumberOf(const std::string& text) {
    int number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && number > 0 ? number : 0;
}

}  // namespace

std::string CapitalizeWords(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i)
        if ((i == 0 || out[i - 1] == ' ' || out[i - 1] == '/') && out[i] >= 'a' && out[i] <= 'z')
            out[i] = char(out[i] - 'a' + 'A');
    return out;
}

TFillValues FillValuesFor(std::string_view name, std::string_view mask, int position, const TCommonValues& common,
                          const TFillOptions& options) {
    const TMatchResult match = MatchFileName(name, mask);
    auto parsed = [&](size_t n) { return options.CaseConvert ? CapitalizeWords(match.Fields[n]) : match.Fields[n]; };
    TFillValues v;
    v.Matched = match.Success;
    v.Artist = common.Artist ? *common.Artist : parsed(0);
    v.Title = parsed(1);
    v.SubTitle = parsed(2);
    v.Remix = parsed(3);
    v.Comment = parsed(4);
    v.Album = common.Album.empty() ? parsed(5) : common.Album;
    const int track = options.GenerateTrackNumbers ? position : TrackNumberOf(match.Fields[10]);
    if (track > 0) v.Track = TwoDigits(std::to_string(track));
    v.Genre = common.Genre;
    v.EncodedBy = common.EncodedBy;
    v.EncodedUsing = common.EncodedUsing;
    v.Copyright = common.Copyright;
    if (common.Year) v.Year = std::to_string(*common.Year);
    if (common.Disc)
        v.CD = TwoDigits(std::to_string(common.Disc->first)) + " / " + TwoDigits(std::to_string(common.Disc->second));
    return v;
}

bool WriteFillValues(const std::filesystem::path& file, const TFillValues& v, int fileCount,
                     const TCommonValues& common, const TFillOptions& options, TMessageSink& sink) {
    if (!v.Matched) {
        sink.Error("\"" + file.string() + "\": the name does not fit its mask, the file is left as it is");
        return false;
    }
    TMP3Object object(sink);
    if (!object.LoadForChange(file)) return false;
    TID3v2Object& v2 = object.ID3v2();
    TID3v1Object& v1 = object.ID3v1();
    const bool hadV2 = v2.Present, hadV1 = v1.Present;
    if (options.SaveID3v2 && v2.KeepsUnderstoodTagBytes()) {
        // Its frames are not known here: writing the values would replace them all.
        sink.Error("\"" + file.string() + "\": its ID3v2 tag could not be understood, the file is left as it is");
        return false;
    }
    // A tag the options leave out is written back as it was read.
    const std::optional<TID3v2Object> keptV2 = hadV2 && !options.SaveID3v2 ? std::optional(v2) : std::nullopt;
    const auto keptV1 = hadV1 && !options.SaveID3v1 ? std::optional(v1.Render()) : std::nullopt;
    // A new ID3v1 tag starts from the values of the ID3v2 tag.
    FillNewID3v1(object);

    TTagEdit edit(object);
    const std::pair<TTagField, const std::string*> shared[] = {{TTagField::Artist, &v.Artist},
                                                               {TTagField::Title, &v.Title},
                                                               {TTagField::Album, &v.Album},
                                                               {TTagField::Genre, &v.Genre},
                                                               {TTagField::Year, &v.Year}};
    for (const auto& [field, text] : shared)
        if (!text->empty()) edit.Set(field, *text);
    const std::pair<const char*, const std::string*> frames[] = {{"TIT3", &v.SubTitle},
                                                                 {"TPE4", &v.Remix},
                                                                 {"TENC", &v.EncodedBy},
                                                                 {"TSSE", &v.EncodedUsing},
                                                                 {"TCOP", &v.Copyright}};
    for (const auto& [id, text] : frames)
        if (!text->empty()) edit.SetFrame(id, *text);
    if (const int number = TrackNumberOf(v.Track); number > 0) {
        int ownNumber = 0, total = -1;
        if (options.GenerateTrackNumbers)
            total = fileCount;
        else if (common.TrackTotal)
            total = *common.TrackTotal;
        else
            TTagEdit::ParseNumberPair(v2.TRCK.FrameHeader.Present ? v2.TRCK.Text : "", ownNumber, total);
        edit.Set(TTagField::Track, std::to_string(number) + (total > 0 ? "/" + std::to_string(total) : ""));
    }
    if (common.Disc)
        edit.Set(TTagField::Disc, std::to_string(common.Disc->first) + "/" + std::to_string(common.Disc->second));
    // The comment from the name goes into ID3v1 only: the ID3v2 comments stay as they are.
    if (!v.Comment.empty())
        TID3v1Object::SetField(v1.Comment, TTagEdit::V1Text(v.Comment, v1.TrackNumber ? 28 : 30), 30);

    if (keptV2) v2 = *keptV2;
    if (keptV1) v1.ReadTag(keptV1->data() + 3);
    return object.SaveFile(file, options.SaveID3v2 || hadV2, object.Lyrics3().Present, options.SaveID3v1 || hadV1);
}

}  // namespace velmar
