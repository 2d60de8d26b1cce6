#include "edit/tagedit.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velmar {

namespace {

// The frames of a multi-instance member that are in use.
template <class T>
size_t InUse(const std::vector<T>& frames, int32_t count) {
    return std::min(frames.size(), size_t(std::max(count, 0)));
}

// The first frame in use that `match` accepts; null when there is none.
template <class T, class TMatch>
T* FindIf(std::vector<T>& frames, int32_t count, TMatch match) {
    for (size_t i = 0; i < InUse(frames, count); ++i)
        if (match(frames[i])) return &frames[i];
    return nullptr;
}

// Adds a frame made by `make`; the order of frames records it.
template <class T, class TMake>
T& Add(TID3v2Object& tag, std::vector<T>& frames, int32_t& count, const char* id, TMake make) {
    frames.resize(InUse(frames, count));
    T& added = frames.emplace_back();
    make(added);
    added.FrameHeader.Present = true;
    count = int32_t(frames.size());
    tag.FrameOrder.push_back({id, TFrameRef::Multi, count - 1});
    return added;
}

// Finds the frame `match` accepts, or adds one made by `make`.
template <class T, class TMatch, class TMake>
T& FindOrAdd(TID3v2Object& tag, std::vector<T>& frames, int32_t& count, const char* id, TMatch match, TMake make) {
    if (T* found = FindIf(frames, count, match)) return *found;
    return Add(tag, frames, count, id, make);
}

// Language codes are compared without regard to letter case: "ENG" is "eng".
bool SameLanguage(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Removes the frames `match` accepts; the order of frames follows.
template <class T, class TMatch>
void RemoveIf(TID3v2Object& tag, std::vector<T>& frames, int32_t& count, const char* id, TMatch match) {
    for (size_t i = InUse(frames, count); i-- > 0;) {
        if (!match(frames[i])) continue;
        frames.erase(frames.begin() + int64_t(i));
        --count;
        std::erase_if(tag.FrameOrder, [&](const TFrameRef& r) {
            return r.Kind == TFrameRef::Multi && r.FrameID == id && r.Index == int32_t(i);
        });
        for (TFrameRef& r : tag.FrameOrder)
            if (r.Kind == TFrameRef::Multi && r.FrameID == id && r.Index > int32_t(i)) --r.Index;
    }
}

}  // namespace

bool TTagEdit::ParseNumberPair(const std::string& text, int& number, int& total) {
    auto toInt = [](std::string_view s, int& v) {
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && v >= 0;
    };
    const size_t slash = text.find('/');
    total = -1;
    if (slash == std::string::npos) return toInt(text, number);
    return toInt(std::string_view(text).substr(0, slash), number) &&
           toInt(std::string_view(text).substr(slash + 1), total);
}

std::string TTagEdit::FrameValueProblem(std::string_view id, const std::string& value) {
    if (value.empty()) return {};
    const bool digits = value.find_first_not_of("0123456789") == std::string::npos;
    int number = 0, total = 0;
    if (id == "TRCK" || id == "TPOS")
        return ParseNumberPair(value, number, total) ? "" : "takes N or N/M";
    if (id == "TYER" || id == "TORY")
        return digits && value.size() == 4 ? "" : "takes a year of four digits";
    if (id == "TDAT" || id == "TIME")
        return digits && value.size() == 4 ? "" : id == "TDAT" ? "takes a day and month as DDMM" : "takes a time as HHMM";
    if (id == "TBPM" || id == "TLEN" || id == "TDLY" || id == "TSIZ")
        return digits ? "" : "takes a whole number";
    if (id.starts_with("W") && std::any_of(value.begin(), value.end(), [](char c) { return uint8_t(c) <= 0x20; }))
        return "takes a URL, without spaces or control characters";
    return {};
}

std::string TTagEdit::V1Text(const std::string& utf8, size_t width) {
    const std::string latin1 = Utf8ToLatin1(utf8);
    return latin1.size() <= width ? latin1 : latin1.substr(0, width - 1);
}

void TTagEdit::SetText(const char* id, const std::string& text) {
    TID3v2Frame* frame = V2.SingleFrame(id);
    V2.DropRawFrames(id);  // a repeated frame would contradict the new value
    if (text.empty()) {
        frame->FrameHeader.Present = false;
        std::erase_if(V2.FrameOrder, [id](const TFrameRef& r) { return r.FrameID == id; });
        return;
    }
    if (!frame->FrameHeader.Present) V2.FrameOrder.push_back({id, TFrameRef::Single, 0});
    if (auto* textFrame = dynamic_cast<TTxtFrame*>(frame))
        textFrame->SetText(text);
    else
        static_cast<TWebFrame*>(frame)->URL = text;
    frame->FrameHeader.Present = true;
}

namespace {

// The three texts that every tag has: the ID3v2 frame, the ID3v1 field and Lyrics3's extended field.
struct TSharedText {
    const char* FrameID;
    std::string TID3v1Object::*V1Field;
    std::string TLyricsObject::*Lyrics3Field;
};

const TSharedText* SharedText(TTagField field) {
    static const TSharedText kTitle{"TIT2", &TID3v1Object::Title, &TLyricsObject::ExtTitle},
        kArtist{"TPE1", &TID3v1Object::Artist, &TLyricsObject::ExtArtist},
        kAlbum{"TALB", &TID3v1Object::Album, &TLyricsObject::ExtAlbum};
    switch (field) {
        case TTagField::Title: return &kTitle;
        case TTagField::Artist: return &kArtist;
        case TTagField::Album: return &kAlbum;
        default: return nullptr;
    }
}

}  // namespace

bool TTagEdit::Set(TTagField field, const std::string& value) {
    if (const TSharedText* text = SharedText(field)) {
        SetText(text->FrameID, value);
        TID3v1Object::SetField(V1.*text->V1Field, V1Text(value, 30), 30);
        if (ExtendLyrics3 && File.Lyrics3().Present) File.Lyrics3().*text->Lyrics3Field = Utf8ToLatin1(value);
        return true;
    }
    int number = 0, total = -1;
    switch (field) {
        case TTagField::Year:
            SetText("TYER", value);
            TID3v1Object::SetField(V1.Year, Utf8ToLatin1(value), 4);
            return true;
        case TTagField::Comment: SetComment(value); return true;
        case TTagField::Track:
            if (!value.empty() && !ParseNumberPair(value, number, total)) return false;
            SetText("TRCK", value);
            V1.SetTrackNumber(number <= 255 ? uint8_t(number) : 0);
            // With a track number the ID3v1 comment has 28 characters.
            if (V1.TrackNumber && TID3v1Object::FieldText(V1.Comment).size() > 28)
                TID3v1Object::SetField(V1.Comment, TID3v1Object::FieldText(V1.Comment).substr(0, 27), 30);
            return true;
        case TTagField::Disc:
            if (!value.empty() && !ParseNumberPair(value, number, total)) return false;
            SetText("TPOS", value);
            return true;
        case TTagField::Title:
        case TTagField::Artist:
        case TTagField::Album: break;  // above
        case TTagField::Genre:
            V2.DropRawFrames("TCON");
            if (value.empty()) {
                SetText("TCON", value);
            } else {
                if (!V2.TCON.FrameHeader.Present) V2.FrameOrder.push_back({"TCON", TFrameRef::Single, 0});
                V2.TCON.SetGenre(value);
                V2.TCON.FrameHeader.Present = true;
            }
            V1.GenreName = value;
            return true;
    }
    return false;
}

void TTagEdit::SetComment(const std::string& text, const std::string& description, const std::string& language) {
    const std::string wanted = language.empty() ? "ENG" : language;
    auto exact = [&](const TCOMMFrame& c) { return c.Description == description && SameLanguage(c.Language, wanted); };
    auto plain = [](const TCOMMFrame& c) { return c.Description.empty(); };
    // Without a language the plain comment is the first without a description, whatever its language.
    const bool anyLanguage = description.empty() && language.empty();
    if (text.empty()) {
        if (anyLanguage)
            RemoveIf(V2, V2.COMM, V2.COMMCount, "COMM", plain);
        else
            RemoveIf(V2, V2.COMM, V2.COMMCount, "COMM", exact);
    } else {
        TCOMMFrame* target = anyLanguage ? nullptr : FindIf(V2.COMM, V2.COMMCount, exact);
        if (!target && description.empty()) target = FindIf(V2.COMM, V2.COMMCount, plain);
        if (!target) {
            target = &Add(V2, V2.COMM, V2.COMMCount, "COMM", [&](TCOMMFrame& c) {
                c.Language = wanted;
                c.Description = description;
            });
        }
        target->Text = text;
        // A comment keeps the language it was read with unless one is asked for.
        if (!language.empty()) target->Language = language;
    }
    if (!description.empty()) return;
    const TCOMMFrame* first = FindIf(V2.COMM, V2.COMMCount, plain);
    const std::string v1 = first ? first->Text : std::string();
    TID3v1Object::SetField(V1.Comment, V1Text(v1, V1.TrackNumber ? 28 : 30), 30);
}

void TTagEdit::SetLyrics(const std::string& text, const std::string& description, const std::string& language) {
    auto match = [&](const TUSLTFrame& f) {
        return f.Description == description && SameLanguage(f.Language, language);
    };
    if (text.empty()) return RemoveIf(V2, V2.USLT, V2.USLTCount, "USLT", match);
    FindOrAdd(V2, V2.USLT, V2.USLTCount, "USLT", match, [&](TUSLTFrame& f) {
        f.Language = language;
        f.Description = description;
    }).Text = text;
}

bool TTagEdit::SetFrame(std::string_view id, const std::string& value) {
    const bool text = id.starts_with("T") && id != "TXXX", url = id.starts_with("W") && id != "WXXX";
    if (!(text || url) || !V2.SingleFrame(id)) return false;
    SetText(std::string(id).c_str(), value);
    return true;
}

void TTagEdit::SetUserText(const std::string& description, const std::string& value) {
    auto match = [&](const TTXXXFrame& f) { return f.Description == description; };
    if (value.empty()) return RemoveIf(V2, V2.TXXX, V2.TXXXCount, "TXXX", match);
    FindOrAdd(V2, V2.TXXX, V2.TXXXCount, "TXXX", match, [&](TTXXXFrame& f) { f.Description = description; }).Value =
        value;
}

void TTagEdit::SetUserUrl(const std::string& description, const std::string& url) {
    auto match = [&](const TWXXXFrame& f) { return f.Description == description; };
    if (url.empty()) return RemoveIf(V2, V2.WXXX, V2.WXXXCount, "WXXX", match);
    FindOrAdd(V2, V2.WXXX, V2.WXXXCount, "WXXX", match, [&](TWXXXFrame& f) { f.Description = description; }).URL = url;
}

void TTagEdit::SetPicture(const std::string& description, uint8_t pictureType, const std::string& mimeType,
                          const TBytes& data) {
    auto match = [&](const TAPICFrame& f) { return f.PictureType == pictureType && f.Description == description; };
    if (data.empty()) return RemoveIf(V2, V2.APIC, V2.APICCount, "APIC", match);
    TAPICFrame& picture = FindOrAdd(V2, V2.APIC, V2.APICCount, "APIC", match, [&](TAPICFrame& f) {
        f.PictureType = pictureType;
        f.Description = description;
    });
    picture.PictureTypeName = pictureType < PictureTypeNames().size() ? PictureTypeNames()[pictureType] : "Other";
    picture.MIMEType = mimeType;
    picture.PictureData = data;
}

}  // namespace velmar
