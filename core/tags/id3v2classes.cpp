#include "id3v2classes.h"

#include <charconv>
#include <cstring>

#include "tags/ID3v1obj.h"

namespace velmar {

// ---------------------------------------------------------------- headers

void TID3v2Header::ReadFromBytes(const uint8_t* b) {
    MajorVersion = b[0];
    Revision = b[1];
    const uint8_t flags = b[2];
    Unsynchronisation = flags & 0x80;
    ExtendedHeader = flags & 0x40;
    Experimental = flags & 0x20;
    Footer = MajorVersion == 4 && (flags & 0x10);
    OtherFlags = flags & (MajorVersion == 4 ? 0x0F : 0x1F);
    Size = (int64_t(b[3] & 0x7F) << 21) | (int64_t(b[4] & 0x7F) << 14) | (int64_t(b[5] & 0x7F) << 7) | (b[6] & 0x7F);
}

void TID3v2Header::ReadFromStream(TStream& stream) {
    uint8_t b[7];
    stream.ReadExact(b, sizeof b);
    ReadFromBytes(b);
}

void TID3v2Header::WriteToStream(TStream& stream) const {
    const uint8_t flags = uint8_t((Unsynchronisation ? 0x80 : 0) | (ExtendedHeader ? 0x40 : 0) | (Experimental ? 0x20 : 0));
    const uint8_t b[10] = {'I', 'D', '3', MajorVersion, Revision, flags,
                           uint8_t((Size >> 21) & 0x7F), uint8_t((Size >> 14) & 0x7F),
                           uint8_t((Size >> 7) & 0x7F), uint8_t(Size & 0x7F)};
    stream.Write(b, sizeof b);
}

bool TID3v2ExtendedHeader::ReadFromBuffer(std::span<const uint8_t> buf, int32_t& index) {
    if (size_t(index) + 10 > buf.size()) return false;
    Size = BufReadLong(buf, index);
    CRCPresent = BufReadByte(buf, index) != 0;
    BufReadByte(buf, index);
    PaddingSize = BufReadLong(buf, index);
    if (Size > 6) {
        if (Size - 6 > int64_t(buf.size()) - index) return false;
        index += int32_t(Size - 6);
    }
    return true;
}

void TID3v2FrameHeader::ReadFromBuffer(std::span<const uint8_t> buf, int32_t& position) {
    FrameID = BufReadText(buf, position, 4);
    Size = BufReadLong(buf, position);
    const uint8_t status = BufReadByte(buf, position);
    const uint8_t format = BufReadByte(buf, position);
    TagAlterPreservation = status & 0x80;
    FileAlterPreservation = status & 0x40;
    ReadOnly = status & 0x20;
    Compression = format & 0x80;
    Encryption = format & 0x40;
    GroupingIdentity = format & 0x20;
    Present = true;
}

uint8_t TID3v2FrameHeader::StatusFlags() const {
    return uint8_t((TagAlterPreservation ? 0x80 : 0) | (FileAlterPreservation ? 0x40 : 0) | (ReadOnly ? 0x20 : 0));
}

uint8_t TID3v2FrameHeader::FormatFlags() const {
    return uint8_t((Compression ? 0x80 : 0) | (Encryption ? 0x40 : 0) | (GroupingIdentity ? 0x20 : 0));
}

void TID3v2FrameHeader::WriteToStream(TStream& stream) const {
    std::string id = FrameID;
    id.resize(4, '\0');
    StreamWriteText(stream, id);
    StreamWriteLong(stream, uint32_t(Size));
    StreamWriteByte(stream, StatusFlags());
    StreamWriteByte(stream, FormatFlags());
}

// ---------------------------------------------------------------- frame base

bool TID3v2Frame::ReadFromBuffer(const TID3v2FrameHeader& walked, std::span<const uint8_t> body) {
    FrameHeader.Assign(walked);
    FrameHeader.Size = int64_t(body.size());
    return ParseBody(body);
}

void TID3v2Frame::Prepare(const std::string& frameID) {
    Rendered = RenderBody();
    FrameHeader.FrameID = frameID;
    FrameHeader.Size = int64_t(Rendered.size());
    FrameHeader.TagAlterPreservation = FrameHeader.FileAlterPreservation = FrameHeader.ReadOnly = false;
    FrameHeader.Compression = FrameHeader.Encryption = FrameHeader.GroupingIdentity = false;
}

void TID3v2Frame::WriteToStream(TStream& stream) const {
    FrameHeader.WriteToStream(stream);
    StreamWriteBytes(stream, Rendered);
}

uint8_t TBodyReader::Byte() { return Pos < Body.size() ? Body[Pos++] : (Pos++, 0); }
uint16_t TBodyReader::Word() {
    const uint16_t hi = Byte();
    return uint16_t((hi << 8) | Byte());
}
uint32_t TBodyReader::Long() {
    const uint32_t hi = Word();
    return (hi << 16) | Word();
}
TBytes TBodyReader::Bytes(size_t count) {
    const size_t n = std::min(count, Remaining());
    TBytes out(Body.begin() + int64_t(std::min(Pos, Body.size())), Body.begin() + int64_t(std::min(Pos, Body.size()) + n));
    Pos += count;
    return out;
}
std::string TBodyReader::Latin1(size_t count) {
    const TBytes b = Bytes(count);
    return Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}
std::string TBodyReader::ZLatin1() { return ZText(0); }
std::string TBodyReader::ZText(uint8_t encoding) {
    const size_t start = std::min(Pos, Body.size());
    const size_t n = FindTerminator(encoding, Body.data() + start, Body.size() - start);
    std::string s = DecodeText(encoding, Body.data() + start, n);
    Pos = start + std::min(Body.size() - start, n + TerminatorSize(encoding));
    return s;
}
std::string TBodyReader::RestText(uint8_t encoding) {
    const size_t start = std::min(Pos, Body.size());
    Pos = Body.size();
    return DecodeText(encoding, Body.data() + start, Body.size() - start);
}

namespace {

// Strict decimal conversion; false when the text is not a whole number.
bool ToInt(std::string_view s, int32_t& value) {
    while (!s.empty() && s.back() == '\0') s.remove_suffix(1);
    if (s.empty()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int32_t IntOrZero(std::string_view s) {
    int32_t v = 0;
    return ToInt(s, v) ? v : 0;
}

void AppendLatin1(TBytes& out, std::string_view utf8, bool terminate) { AppendEncodedText(out, 0, utf8, terminate); }

void AppendFixed(TBytes& out, std::string_view utf8, size_t width) {
    std::string l = Utf8ToLatin1(utf8);
    l.resize(width, '\0');
    out.insert(out.end(), l.begin(), l.end());
}

void AppendLong(TBytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

}  // namespace

// ---------------------------------------------------------------- text frames

bool TTxtFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    Text = r.RestText(Encoding);
    ParseText();
    TextParsed = true;
    return true;
}

void TTxtFrame::SetText(const std::string& text) {
    Text = text;
    ParseText();
    TextParsed = true;
}

TBytes TTxtFrame::RenderBody() {
    RebuildTextIfChanged();
    Encoding = ChooseEncoding({Text});
    TBytes out{Encoding};
    AppendEncodedText(out, Encoding, Text, false);
    return out;
}

void TTxtIntFrame::ParseText() { ParsedValue = Value = IntOrZero(Text); }
void TTxtIntFrame::RebuildTextIfChanged() {
    if (Value != ParsedValue || !TextParsed) Text = std::to_string(Value);
    ParsedValue = Value;
}

void TTCONFrame::ParseText() {
    // Leading references "(n)", then the refinement; "((" starts a refinement that begins with "(".
    std::string_view t(Text);
    while (!t.empty() && t.back() == '\0') t.remove_suffix(1);
    std::vector<std::string> refs;
    while (refs.size() < 2 && t.size() >= 2 && t[0] == '(' && t[1] != '(') {
        const size_t close = t.find(')');
        if (close == std::string_view::npos) break;
        refs.emplace_back(t.substr(1, close - 1));
        t.remove_prefix(close + 1);
    }
    if (t.starts_with("((")) t.remove_prefix(1);  // the doubled "(" is how the text escapes it
    // A bare genre number, as some writers store it, is a reference too.
    int32_t bare = -1;
    if (refs.empty() && ToInt(t, bare) && bare >= 0 && bare < int32_t(GenreTable().size())) {
        refs.emplace_back(t);
        t = {};
    }
    Refinement = std::string(t);
    auto resolve = [](const std::string& ref, int32_t& index, std::string& name) {
        index = -1;
        name.clear();
        if (ref == "RX") name = "Remix";
        else if (ref == "CR") name = "Cover";
        else if (ToInt(ref, index) && index >= 0 && index < int32_t(GenreTable().size())) name = GenreTable()[size_t(index)];
        else name = "(" + ref + ")";  // a reference outside the table shows as it stands
    };
    if (refs.size() > 0) resolve(refs[0], Genre1, Genre1Name); else { Genre1 = -1; Genre1Name.clear(); }
    if (refs.size() > 1) resolve(refs[1], Genre2, Genre2Name); else { Genre2 = -1; Genre2Name.clear(); }
    Parsed1 = Genre1Name;
    Parsed2 = Genre2Name;
    ParsedRefinement = Refinement;
}

void TTCONFrame::SetGenre(const std::string& name) {
    if (GenreIndexOf(name) >= 0) {
        Genre1Name = name;
        Refinement.clear();
    } else {
        Genre1Name.clear();
        Refinement = name;
    }
    Genre2Name.clear();
}

void TTCONFrame::RebuildTextIfChanged() {
    if (Genre1Name == Parsed1 && Genre2Name == Parsed2 && Refinement == ParsedRefinement && TextParsed) return;
    auto reference = [](const std::string& name, int32_t& index) -> std::string {
        index = name.empty() ? -1 : GenreIndexOf(name);
        if (index >= 0) return "(" + std::to_string(index) + ")";
        if (name == "Remix") return "(RX)";
        if (name == "Cover") return "(CR)";
        if (name.size() > 2 && name.front() == '(' && name.back() == ')') return name;
        return std::string();
    };
    Text = reference(Genre1Name, Genre1) + reference(Genre2Name, Genre2);
    if (!Refinement.empty()) Text += Refinement.front() == '(' ? "(" + Refinement : Refinement;
    Parsed1 = Genre1Name;
    Parsed2 = Genre2Name;
    ParsedRefinement = Refinement;
}

void TTDATFrame::SetText(const std::string& text) {
    Text = text.size() == 5 ? text.substr(3, 2) + text.substr(0, 2) : text;
    ParseText();
}
void TTDATFrame::ParseText() {
    ParsedText = Text;
    Day = uint8_t(IntOrZero(Text.substr(0, 2)));
    Month = Text.size() > 2 ? uint8_t(IntOrZero(Text.substr(2, 2))) : 0;
}
void TTDATFrame::RebuildTextIfChanged() {
    // A text changed by the tag editor holds MM-DD; the frame stores DDMM.
    if ((Text != ParsedText || !TextParsed) && Text.size() == 5) Text = Text.substr(3, 2) + Text.substr(0, 2);
    ParsedText = Text;
}

void TTIMEFrame::ParseText() {
    Hour = uint8_t(IntOrZero(Text.substr(0, 2)));
    Minute = Text.size() > 2 ? uint8_t(IntOrZero(Text.substr(2, 2))) : 0;
}

void TTFLTFrame::ParseText() {
    static const std::pair<const char*, const char*> kTypes[] = {
        {"MPG", "MPEG Audio"}, {"/1", "MPEG 1/2 Layer I"}, {"/2", "MPEG 1/2 Layer II"},
        {"/3", "MPEG 1/2 Layer III"}, {"/2.5", "MPEG 2.5"}, {"/AAC", "Advanced Audio Compression"},
        {"VQF", "Transform-domain Weighted Interleave Vector Quantization"}, {"PCM", "Pulse Code Modulated Audio"}};
    FileTypeName = "MPEG Audio";
    for (const auto& [code, name] : kTypes)
        if (Text == code) FileTypeName = name;
}

const std::vector<TMediaType>& MediaTable() {
    static const std::vector<TMediaType> kTable = {
        {"Audio Cassette", "MC"}, {"Audio Cassette (4.75 cm/s, Two Sided Cassette)", "MC/4"},
        {"Audio Cassette (9.5 cm/s)", "MC/9"}, {"Audio Cassette (Type I Cassette (Ferric/Normal))", "MC/I"},
        {"Audio Cassette (Type II Cassette (Chrome))", "MC/II"},
        {"Audio Cassette (Type III Cassette (Ferric Chrome))", "MC/III"},
        {"Audio Cassette (Type VI Cassette (Metal))", "MC/IV"}, {"CD", "CD"}, {"CD (AAD)", "CD/AA"},
        {"CD (ADD)", "CD/AD"}, {"CD (Analog Transfer)", "CD/A"}, {"CD (DDD)", "CD/DD"}, {"DAT", "DAT"},
        {"DAT (Analog Transfer)", "DAT/A"}, {"DAT (Mode 2, 32kHz/16bits, Linear)", "DAT/2"},
        {"DAT (Mode 3, 32kHz/12bits, Non-Linear, Low Speed)", "DAT/3"},
        {"DAT (Mode 4, 32kHz/12bits, 4 Channels)", "DAT/4"}, {"DAT (Mode 5, 44.1kHz/16bits, Linear)", "DAT/5"},
        {"DAT (Mode 6, 44.1kHz/16bits, 'Wide Track Play')", "DAT/6"},
        {"DAT (Standard, 48kHz/16bits, Linear)", "DAT/1"}, {"DCC", "DCC"}, {"DCC (Analog Transfer)", "DCC/A"},
        {"DVD", "DVD"}, {"DVD (Analog Transfer)", "DVD/A"}, {"Laser Disc", "LD"},
        {"Laser Disc (Analog Transfer)", "LD/A"}, {"Mini Disc", "MD"}, {"Mini Disc (Analog Transfer)", "MD/A"},
        {"Other Analog Media", "ANA"}, {"Other Analog Media (8-Track Tape Cassette)", "ANA/8CA"},
        {"Other Analog Media (Wax Cylinder)", "ANA/WAC"}, {"Other Digital Media", "DIG"},
        {"Other Digital Media (Analog Transfer)", "DIG/A"}, {"Radio", "RAD"}, {"Radio (AM)", "RAD/AM"},
        {"Radio (FM)", "RAD/FM"}, {"Radio (LW)", "RAD/LW"}, {"Radio (MW)", "RAD/MW"}, {"Reel", "REE"},
        {"Reel (19 cm/s)", "REE/19"}, {"Reel (38 cm/s)", "REE/38"}, {"Reel (76 cm/s)", "REE/76"},
        {"Reel (9.5 cm/s)", "REE/9"}, {"Reel (Type I Cassette (Ferric/Normal))", "REE/I"},
        {"Reel (Type II Cassette (Chrome))", "REE/II"}, {"Reel (Type III Cassette (Ferric Chrome))", "REE/III"},
        {"Reel (Type VI Cassette (Metal))", "REE/IV"}, {"Telephone", "TEL"}, {"Telephone (ISDN)", "TEL/I"},
        {"Television", "TV"}, {"Television (NTSC)", "TV/NTSC"}, {"Television (PAL)", "TV/PAL"},
        {"Television (SECAM)", "TV/SECAM"}, {"Turntable Records", "TT"},
        {"Turntable Records (33.33 rpm)", "TT/33"}, {"Turntable Records (45 rpm)", "TT/45"},
        {"Turntable Records (71.29 rpm)", "TT/71"}, {"Turntable Records (76.59 rpm)", "TT/76"},
        {"Turntable Records (78.26 rpm)", "TT/78"}, {"Turntable Records (80 rpm)", "TT/80"}, {"Video", "VID"},
        {"Video (BETAMAX)", "VID/BETA"}, {"Video (NTSC)", "VID/NTSC"}, {"Video (PAL)", "VID/PAL"},
        {"Video (SECAM)", "VID/SECAM"}, {"Video (S-VHS)", "VID/SVHS"}, {"Video (VHS)", "VID/VHS"}};
    return kTable;
}

void TTMEDFrame::ParseText() {
    MediaType.clear();
    MediaRefinement.clear();
    const size_t close = Text.find(')');
    if (!Text.empty() && Text[0] == '(' && close != std::string::npos) {
        const std::string code = Text.substr(1, close - 1);
        for (const auto& m : MediaTable())
            if (strcasecmp(m.Code, code.c_str()) == 0) MediaType = m.Name;
        if (MediaType.empty()) MediaType = Text.substr(0, close + 1);  // a code outside the table shows as it stands
        MediaRefinement = Text.substr(close + 1);
    } else {
        MediaRefinement = Text;
    }
    ParsedType = MediaType;
    ParsedRefinement = MediaRefinement;
}

void TTMEDFrame::RebuildTextIfChanged() {
    if (MediaType == ParsedType && MediaRefinement == ParsedRefinement && TextParsed) return;
    const auto& table = MediaTable();
    int32_t row = -1;
    if (!ToInt(MediaType, row))
        for (size_t i = 0; i < table.size(); ++i)
            if (MediaType == table[i].Name) row = int32_t(i);
    Text.clear();
    if (row >= 0 && row < int32_t(table.size())) Text = std::string("(") + table[size_t(row)].Code + ")";
    else if (MediaType.size() > 2 && MediaType.front() == '(' && MediaType.back() == ')') Text = MediaType;
    Text += MediaRefinement;
    ParseText();
}

void TTNumberFrame::ParseText() {
    std::string_view t(Text);
    while (!t.empty() && t.back() == '\0') t.remove_suffix(1);
    const size_t slash = t.find('/');
    Number = IntOrZero(t.substr(0, slash));
    Total = slash == std::string_view::npos ? -1 : IntOrZero(t.substr(slash + 1));
    ParsedNumber = Number;
    ParsedTotal = Total;
}

void TTNumberFrame::RebuildTextIfChanged() {
    if (Number == ParsedNumber && Total == ParsedTotal && TextParsed) return;
    Text = std::to_string(Number);
    if (Total >= 0) Text += "/" + std::to_string(Total);
    ParsedNumber = Number;
    ParsedTotal = Total;
}

// ---------------------------------------------------------------- user text and URLs

bool TTXXXFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    Description = r.ZText(Encoding);
    Value = r.RestText(Encoding);
    return true;
}

TBytes TTXXXFrame::RenderBody() {
    Encoding = ChooseEncoding({Description, Value});
    TBytes out{Encoding};
    AppendEncodedText(out, Encoding, Description, true);
    AppendEncodedText(out, Encoding, Value, false);
    return out;
}

bool TWebFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    URL = r.RestText(0);
    return true;
}

TBytes TWebFrame::RenderBody() {
    TBytes out;
    AppendLatin1(out, URL, false);
    return out;
}

bool TWXXXFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    Description = r.ZText(Encoding);
    URL = r.RestText(0);
    return true;
}

TBytes TWXXXFrame::RenderBody() {
    Encoding = ChooseEncoding({Description});
    TBytes out{Encoding};
    AppendEncodedText(out, Encoding, Description, true);
    AppendLatin1(out, URL, false);
    return out;
}

// ---------------------------------------------------------------- other frames

bool TUndefinedFrame::ParseBody(std::span<const uint8_t> body) {
    Data.assign(body.begin(), body.end());
    return true;
}

void TRawFrame::WriteToStream(TStream& stream) const {
    TID3v2FrameHeader h = FrameHeader;
    h.Size = int64_t(Data.size());
    h.WriteToStream(stream);
    StreamWriteBytes(stream, Data);
}

bool TAENCFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Owner = r.ZLatin1();
    PreviewStart = r.Word();
    PreviewLength = r.Word();
    EncryptionInfo = r.Rest();
    return true;
}

TBytes TAENCFrame::RenderBody() {
    TBytes out;
    AppendLatin1(out, Owner, true);
    out.push_back(uint8_t(PreviewStart >> 8));
    out.push_back(uint8_t(PreviewStart));
    out.push_back(uint8_t(PreviewLength >> 8));
    out.push_back(uint8_t(PreviewLength));
    out.insert(out.end(), EncryptionInfo.begin(), EncryptionInfo.end());
    return out;
}

const std::vector<std::string>& PictureTypeNames() {
    static const std::vector<std::string> kNames = {
        "Other", "32*32 pixels file icon", "Other file icon", "Cover (front)", "Cover (back)", "Leaflet page",
        "Media (e.g. lable side of CD)", "Lead artist/lead performer/soloist", "Artist/performer", "Conductor",
        "Band/Orchestra", "Composer", "Lyricist/text writer", "Recording Location", "During recording",
        "During performance", "Movie/video screen capture", "A bright coloured fish", "Illustration",
        "Band/artist logotype", "Publisher/Studio logotype"};
    return kNames;
}

bool TAPICFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    MIMEType = r.ZLatin1();
    PictureType = r.Byte();
    PictureTypeName = PictureType < PictureTypeNames().size() ? PictureTypeNames()[PictureType] : "Other";
    Description = r.ZText(Encoding);
    PictureData = r.Rest();
    return true;
}

TBytes TAPICFrame::RenderBody() {
    Encoding = ChooseEncoding({Description});
    TBytes out{Encoding};
    AppendLatin1(out, MIMEType, true);
    out.push_back(PictureType);
    AppendEncodedText(out, Encoding, Description, true);
    out.insert(out.end(), PictureData.begin(), PictureData.end());
    return out;
}

void TAPICFrame::LoadPicture(TStream& stream) {
    stream.Seek(0);
    PictureData = StreamReadBytes(stream, size_t(stream.Size()));
}

void TAPICFrame::SavePicture(TStream& stream) const { StreamWriteBytes(stream, PictureData); }

bool TCOMMFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    Language = r.Latin1(3);
    Description = r.ZText(Encoding);
    Text = r.RestText(Encoding);
    return true;
}

TBytes TCOMMFrame::RenderBody() {
    Encoding = ChooseEncoding({Description, Text});
    TBytes out{Encoding};
    AppendFixed(out, Language, 3);
    AppendEncodedText(out, Encoding, Description, true);
    AppendEncodedText(out, Encoding, Text, false);
    return out;
}

const std::vector<std::string>& ReceivedAsNames() {
    static const std::vector<std::string> kNames = {
        "Other", "Standard CD album with other songs", "Compressed audio on CD", "File over the Internet",
        "Stream over the Internet", "As note sheets", "As note sheets in a book with other sheets",
        "Music on other media", "Non-musical merchandise"};
    return kNames;
}

bool TCOMRFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    Price = r.ZLatin1();
    ValidUntil = r.Latin1(8);
    ContactURL = r.ZLatin1();
    ReceivedAs = r.Byte();
    ReceivedAsName = ReceivedAs < ReceivedAsNames().size() ? ReceivedAsNames()[ReceivedAs] : "Other";
    Seller = r.ZText(Encoding);
    Description = r.ZText(Encoding);
    PictureMIMEType = r.ZLatin1();
    SellerLogo = r.Rest();
    return true;
}

TBytes TCOMRFrame::RenderBody() {
    if (ValidUntil.empty()) ValidUntil = "19991231";
    Encoding = ChooseEncoding({Seller, Description});
    TBytes out{Encoding};
    AppendLatin1(out, Price, true);
    AppendFixed(out, ValidUntil, 8);
    AppendLatin1(out, ContactURL, true);
    out.push_back(ReceivedAs);
    AppendEncodedText(out, Encoding, Seller, true);
    AppendEncodedText(out, Encoding, Description, true);
    AppendLatin1(out, PictureMIMEType, true);
    out.insert(out.end(), SellerLogo.begin(), SellerLogo.end());
    return out;
}

bool TOwnerSymbolFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Owner = r.ZLatin1();
    Symbol = r.Byte();
    Data = r.Rest();
    return true;
}

TBytes TOwnerSymbolFrame::RenderBody() {
    TBytes out;
    AppendLatin1(out, Owner, true);
    out.push_back(Symbol);
    out.insert(out.end(), Data.begin(), Data.end());
    return out;
}

bool TGEOBFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    MIMEType = r.ZLatin1();
    FileName = r.ZText(Encoding);
    Description = r.ZText(Encoding);
    Object = r.Rest();
    return true;
}

TBytes TGEOBFrame::RenderBody() {
    Encoding = ChooseEncoding({FileName, Description});
    TBytes out{Encoding};
    AppendLatin1(out, MIMEType, true);
    AppendEncodedText(out, Encoding, FileName, true);
    AppendEncodedText(out, Encoding, Description, true);
    out.insert(out.end(), Object.begin(), Object.end());
    return out;
}

bool TIPLSFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    People = r.RestText(Encoding);
    return true;
}

TBytes TIPLSFrame::RenderBody() {
    Encoding = ChooseEncoding({People});
    TBytes out{Encoding};
    AppendEncodedText(out, Encoding, People, false);
    return out;
}

bool TMCDIFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    TOCHeader = r.Long();
    TOC = r.Rest();
    return body.size() >= 4;
}

TBytes TMCDIFrame::RenderBody() {
    TBytes out;
    AppendLong(out, TOCHeader);
    out.insert(out.end(), TOC.begin(), TOC.end());
    return out;
}

bool TOWNEFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    PricePaid = r.ZLatin1();
    PurchaseDate = r.Latin1(8);
    Seller = r.RestText(Encoding);
    return true;
}

TBytes TOWNEFrame::RenderBody() {
    Encoding = ChooseEncoding({Seller});
    TBytes out{Encoding};
    AppendLatin1(out, PricePaid, true);
    AppendFixed(out, PurchaseDate, 8);
    AppendEncodedText(out, Encoding, Seller, false);
    return out;
}

bool TPCNTFrame::ParseBody(std::span<const uint8_t> body) {
    Counter.assign(body.begin(), body.end());
    return true;
}

bool TOwnerDataFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Owner = r.ZLatin1();
    Data = r.Rest();
    return true;
}

TBytes TOwnerDataFrame::RenderBody() {
    TBytes out;
    AppendLatin1(out, Owner, true);
    out.insert(out.end(), Data.begin(), Data.end());
    return out;
}

bool TRBUFFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    BufferSize = r.Long();
    EmbeddedInfo = r.Byte() != 0;
    NextTagOffset = r.Long();
    return body.size() == 9;  // other lengths are kept as they are
}

TBytes TRBUFFrame::RenderBody() {
    TBytes out;
    AppendLong(out, BufferSize);
    out.push_back(EmbeddedInfo ? 1 : 0);
    AppendLong(out, NextTagOffset);
    return out;
}

bool TRVRBFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    ReverbLeft = r.Word();
    ReverbRight = r.Word();
    for (uint8_t* f : {&BouncesLeft, &BouncesRight, &FeedbackLeftToLeft, &FeedbackLeftToRight,
                       &FeedbackRightToRight, &FeedbackRightToLeft, &PremixLeftToRight, &PremixRightToLeft})
        *f = r.Byte();
    return body.size() == 12;
}

TBytes TRVRBFrame::RenderBody() {
    TBytes out{uint8_t(ReverbLeft >> 8), uint8_t(ReverbLeft), uint8_t(ReverbRight >> 8), uint8_t(ReverbRight),
               BouncesLeft, BouncesRight, FeedbackLeftToLeft, FeedbackLeftToRight,
               FeedbackRightToRight, FeedbackRightToLeft, PremixLeftToRight, PremixRightToLeft};
    return out;
}

bool TSYTCFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    TimeStampFormat = r.Byte();
    Data = r.Rest();
    return !body.empty();
}

TBytes TSYTCFrame::RenderBody() {
    TBytes out{TimeStampFormat};
    out.insert(out.end(), Data.begin(), Data.end());
    return out;
}

bool TUSERFrame::ParseBody(std::span<const uint8_t> body) {
    TBodyReader r{body};
    Encoding = r.Byte();
    if (!IsKnownEncoding(Encoding)) return false;
    Language = r.Latin1(3);
    Text = r.RestText(Encoding);
    return true;
}

TBytes TUSERFrame::RenderBody() {
    Encoding = ChooseEncoding({Text});
    TBytes out{Encoding};
    AppendFixed(out, Language, 3);
    AppendEncodedText(out, Encoding, Text, false);
    return out;
}

}  // namespace velmar
