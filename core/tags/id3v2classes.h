#pragma once
// ID3v2 tag header, extended header, frame header and the frame classes.
// Every frame class reads its body from the bytes the tag walk hands it
// (`ReadFromBuffer`), renders it again before writing (`Prepare`) and writes
// header and body (`WriteToStream`). Texts are UTF-8; writing uses encoding 0
// when every character lies in Latin-1, else UTF-16 with a byte-order mark.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "base/iofunc.h"

namespace velmar {

class EID3v2 : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Largest tag size the sync-safe size field can hold.
constexpr int64_t kMaxID3v2Size = (int64_t(1) << 28) - 1;

class TID3v2Header {
public:
    // Reads version, revision, flags and size; the stream stands on the version byte.
    void ReadFromStream(TStream& stream);
    void ReadFromBytes(const uint8_t* seven);  // the seven bytes after "ID3"
    void WriteToStream(TStream& stream) const;

    uint8_t MajorVersion = 0;
    uint8_t Revision = 0;
    bool Unsynchronisation = false;
    bool ExtendedHeader = false;
    bool Experimental = false;
    bool OtherFlags = false;
    bool Footer = false;  // flag bit 4 of a version 4 tag: a 10-byte footer follows the tag
    int64_t Size = 0;
};

class TID3v2ExtendedHeader {
public:
    // Reads the extended header at `index`; returns false when it does not fit.
    bool ReadFromBuffer(std::span<const uint8_t> buf, int32_t& index);

    int64_t Size = 0;
    bool CRCPresent = false;
    int64_t PaddingSize = 0;
};

class TID3v2FrameHeader {
public:
    void ReadFromBuffer(std::span<const uint8_t> buf, int32_t& position);
    void WriteToStream(TStream& stream) const;
    void Assign(const TID3v2FrameHeader& other) { *this = other; }
    uint8_t StatusFlags() const;
    uint8_t FormatFlags() const;

    bool Present = false;
    std::string FrameID;
    int64_t Size = 0;
    bool TagAlterPreservation = false;
    bool FileAlterPreservation = false;
    bool ReadOnly = false;
    bool Compression = false;
    bool Encryption = false;
    bool GroupingIdentity = false;
};

// The kinds of field a frame body is made of.
enum class TFieldKind : uint8_t {
    Encoding,    // one byte: the encoding of the frame's encoded texts
    Latin1Z,     // single-byte text ended by a zero byte
    Latin1Rest,  // single-byte text to the end of the body
    Fixed,       // single-byte text of a fixed width (a language, a date)
    TextZ,       // text in the frame's encoding, ended by its terminator
    TextRest,    // text in the frame's encoding, to the end of the body
    Byte,
    Flag,    // a byte that reads as true when it is not zero, written as 0 or 1
    Word,    // 16-bit, big-endian
    Long,    // 32-bit, big-endian
    Binary,  // bytes to the end of the body
};

// One field of a frame body, bound to the member of the frame that holds it.
struct TField {
    const char* Name = "";
    TFieldKind Kind = TFieldKind::Binary;
    std::variant<uint8_t*, bool*, uint16_t*, uint32_t*, std::string*, TBytes*> Member;
    uint8_t Width = 0;  // of a Fixed field
};

// The fields of one body, held in place: a layout is made for every frame read or
// written, so it must not cost an allocation.
class TLayout {
public:
    static constexpr size_t kMaxFields = 10;
    TLayout(std::initializer_list<TField> fields) : Count(fields.size()) {
        if (fields.size() > kMaxFields) throw std::length_error("a frame layout has too many fields");
        std::uninitialized_copy(fields.begin(), fields.end(), reinterpret_cast<TField*>(Storage));
    }
    const TField* begin() const { return std::launder(reinterpret_cast<const TField*>(Storage)); }
    const TField* end() const { return begin() + Count; }

private:
    static_assert(std::is_trivially_copyable_v<TField> && std::is_trivially_destructible_v<TField>);
    // Left as it is until the fields are copied in: only those are ever read.
    alignas(TField) std::byte Storage[kMaxFields * sizeof(TField)];
    size_t Count;
};

// Builders of fields, one per kind of member.
inline TField EncodingField(uint8_t& m) { return {"Encoding", TFieldKind::Encoding, &m}; }
inline TField TextField(const char* name, TFieldKind kind, std::string& m, uint8_t width = 0) {
    return {name, kind, &m, width};
}
inline TField ByteField(const char* name, uint8_t& m) { return {name, TFieldKind::Byte, &m}; }
inline TField FlagField(const char* name, bool& m) { return {name, TFieldKind::Flag, &m}; }
inline TField WordField(const char* name, uint16_t& m) { return {name, TFieldKind::Word, &m}; }
inline TField LongField(const char* name, uint32_t& m) { return {name, TFieldKind::Long, &m}; }
inline TField BinaryField(const char* name, TBytes& m) { return {name, TFieldKind::Binary, &m}; }

// How strictly a body must fill its layout to be understood.
enum class TFit {
    Lenient,       // missing bytes read as zero and as empty texts
    NumbersWhole,  // every number lies whole within the body
    Exact,         // the numbers fill the body exactly
};

// What a frame holds, as reports and windows group frames.
enum class TFrameKind { Text, UserText, Url, UserUrl, Comment, Picture, Other, Raw };

// Common part of every frame class. A body is the frame's layout: one generic
// reader and one generic writer walk the fields each class declares once.
// The zero code units that closed a text running to the end of a frame, and that text.
struct TClosingZeros {
    size_t Count = 0;
    std::string Text;
};

class TID3v2Frame {
public:
    virtual ~TID3v2Frame() = default;
    // Takes the walked header and the frame's body (already inflated, without
    // the bytes that compression and grouping put in front). Returns false when
    // the body does not fit the layout (an unknown text encoding, numbers cut
    // short); the caller then keeps the frame as raw bytes.
    bool ReadFromBuffer(const TID3v2FrameHeader& walked, std::span<const uint8_t> body);
    // Renders the body, sets the header's identifier and size, clears the flags.
    void Prepare(const std::string& frameID);
    void WriteToStream(TStream& stream) const;
    const TBytes& RenderedBody() const { return Rendered; }
    // False for a frame that is left out of a written tag (a picture without data).
    virtual bool Writable() const { return true; }
    // The fields of the body in their order, bound to this frame's members.
    virtual TLayout Layout() = 0;
    virtual TFrameKind Kind() const { return TFrameKind::Other; }

    TID3v2FrameHeader FrameHeader;

protected:
    virtual TFit Fit() const { return TFit::Lenient; }
    // Values worked out from the fields once they are read, and before they are written.
    virtual void AfterRead() {}
    virtual void BeforeWrite() {}

private:
    TBytes Rendered;
    TClosingZeros Closing;
};

// Text information frames.
class TTxtFrame : public TID3v2Frame {
public:
    // Sets the text as a user enters it and parses it as reading would.
    virtual void SetText(const std::string& text);
    TLayout Layout() override { return {EncodingField(Encoding), TextField("Text", TFieldKind::TextRest, Text)}; }
    TFrameKind Kind() const override { return TFrameKind::Text; }

    uint8_t Encoding = 0;
    std::string Text;

protected:
    void AfterRead() override;
    void BeforeWrite() override { RebuildTextIfChanged(); }
    // Frames whose text carries values parse it here and rebuild it from changed values.
    virtual void ParseText() {}
    virtual void RebuildTextIfChanged() {}
    bool TextParsed = false;  // Text was read or set as text, so its values match it
};

// Numeric text frames (TBPM, TLEN, TORY, TSIZ, TYER).
class TTxtIntFrame : public TTxtFrame {
public:
    int32_t Value = 0;

protected:
    void ParseText() override;
    void RebuildTextIfChanged() override;

private:
    int32_t ParsedValue = 0;
};

class TTCONFrame : public TTxtFrame {
public:
    // Sets one genre: a name of the genre table becomes the reference, any other text the refinement.
    void SetGenre(const std::string& name);

    int32_t Genre1 = -1, Genre2 = -1;
    std::string Genre1Name, Genre2Name, Refinement;

protected:
    void ParseText() override;
    void RebuildTextIfChanged() override;

private:
    std::string Parsed1, Parsed2, ParsedRefinement;
};

class TTCOPFrame : public TTxtFrame {};

class TTDATFrame : public TTxtFrame {
public:
    // Takes DDMM, or MM-DD as the tag editor enters it (any one character between).
    void SetText(const std::string& text) override;
    uint8_t Day = 0, Month = 0;

protected:
    void ParseText() override;
    void RebuildTextIfChanged() override;

private:
    std::string ParsedText;
};

class TTIMEFrame : public TTxtFrame {
public:
    uint8_t Hour = 0, Minute = 0;

protected:
    void ParseText() override;
};

class TTFLTFrame : public TTxtFrame {
public:
    std::string FileTypeName;

protected:
    void ParseText() override;
};

// The media types of TMED: row number is the position in this table.
struct TMediaType {
    const char* Name;
    const char* Code;
};
const std::vector<TMediaType>& MediaTable();

class TTMEDFrame : public TTxtFrame {
public:
    std::string MediaType;  // long name as read; a row number or long name when set
    std::string MediaRefinement;

protected:
    void ParseText() override;
    void RebuildTextIfChanged() override;

private:
    std::string ParsedType, ParsedRefinement;
};

// Track and part of set: "n/m".
class TTNumberFrame : public TTxtFrame {
public:
    int32_t Number = 0;
    int32_t Total = -1;  // -1: no total

protected:
    void ParseText() override;
    void RebuildTextIfChanged() override;

private:
    int32_t ParsedNumber = 0, ParsedTotal = -1;
};
class TTPOSFrame : public TTNumberFrame {};
class TTRCKFrame : public TTNumberFrame {};

class TTXXXFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Description, Value;
    TLayout Layout() override {
        return {EncodingField(Encoding), TextField("Description", TFieldKind::TextZ, Description),
                TextField("Value", TFieldKind::TextRest, Value)};
    }
    TFrameKind Kind() const override { return TFrameKind::UserText; }
};

class TWebFrame : public TID3v2Frame {
public:
    std::string URL;
    TLayout Layout() override { return {TextField("URL", TFieldKind::Latin1Rest, URL)}; }
    TFrameKind Kind() const override { return TFrameKind::Url; }
};

class TWXXXFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Description, URL;
    TLayout Layout() override {
        return {EncodingField(Encoding), TextField("Description", TFieldKind::TextZ, Description),
                TextField("URL", TFieldKind::Latin1Rest, URL)};
    }
    TFrameKind Kind() const override { return TFrameKind::UserUrl; }
};

// A frame kept as its body bytes.
class TUndefinedFrame : public TID3v2Frame {
public:
    TBytes Data;
    TLayout Layout() override { return {BinaryField("Data", Data)}; }
};

// A frame that is not one of the known identifiers, or that could not be
// understood, kept with its flags and written back unchanged.
class TRawFrame : public TUndefinedFrame {
public:
    // False for a frame of another tag version that has no ID3v2.3 form.
    bool KeepOnWrite = true;
    bool Writable() const override { return KeepOnWrite; }
    TFrameKind Kind() const override { return TFrameKind::Raw; }
    // The raw body exactly as stored (compression and grouping bytes included).
    void WriteToStream(TStream& stream) const;
};

class TAENCFrame : public TID3v2Frame {
public:
    std::string Owner;
    uint16_t PreviewStart = 0, PreviewLength = 0;
    TBytes EncryptionInfo;
    TLayout Layout() override {
        return {TextField("Owner", TFieldKind::Latin1Z, Owner), WordField("PreviewStart", PreviewStart),
                WordField("PreviewLength", PreviewLength), BinaryField("EncryptionInfo", EncryptionInfo)};
    }
};

const std::vector<std::string>& PictureTypeNames();

class TAPICFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string MIMEType;
    uint8_t PictureType = 0;
    std::string Description;
    TBytes PictureData;
    std::string PictureTypeName;
    void LoadPicture(TStream& stream);
    void SavePicture(TStream& stream) const;
    bool Writable() const override { return !PictureData.empty(); }
    TLayout Layout() override {
        return {EncodingField(Encoding), TextField("MIMEType", TFieldKind::Latin1Z, MIMEType),
                ByteField("PictureType", PictureType), TextField("Description", TFieldKind::TextZ, Description),
                BinaryField("PictureData", PictureData)};
    }
    TFrameKind Kind() const override { return TFrameKind::Picture; }

protected:
    void AfterRead() override;
};

class TCOMMFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Language = "ENG";
    std::string Description, Text;
    TLayout Layout() override {
        return {EncodingField(Encoding), TextField("Language", TFieldKind::Fixed, Language, 3),
                TextField("Description", TFieldKind::TextZ, Description),
                TextField("Text", TFieldKind::TextRest, Text)};
    }
    TFrameKind Kind() const override { return TFrameKind::Comment; }
};
class TUSLTFrame : public TCOMMFrame {};

const std::vector<std::string>& ReceivedAsNames();

class TCOMRFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Price, ValidUntil, ContactURL;
    uint8_t ReceivedAs = 0;
    std::string Seller, Description, PictureMIMEType;
    TBytes SellerLogo;
    std::string ReceivedAsName;
    TLayout Layout() override {
        return {EncodingField(Encoding),
                TextField("Price", TFieldKind::Latin1Z, Price),
                TextField("ValidUntil", TFieldKind::Fixed, ValidUntil, 8),
                TextField("ContactURL", TFieldKind::Latin1Z, ContactURL),
                ByteField("ReceivedAs", ReceivedAs),
                TextField("Seller", TFieldKind::TextZ, Seller),
                TextField("Description", TFieldKind::TextZ, Description),
                TextField("PictureMIMEType", TFieldKind::Latin1Z, PictureMIMEType),
                BinaryField("SellerLogo", SellerLogo)};
    }

protected:
    void AfterRead() override;
    void BeforeWrite() override;
};

// Owner text, one byte, data: ENCR (method symbol), GRID (group symbol),
// POPM (e-mail, rating, play counter).
class TOwnerSymbolFrame : public TID3v2Frame {
public:
    std::string Owner;
    uint8_t Symbol = 0;
    TBytes Data;
    TLayout Layout() override {
        return {TextField("Owner", TFieldKind::Latin1Z, Owner), ByteField("Symbol", Symbol), BinaryField("Data", Data)};
    }
};
class TENCRFrame : public TOwnerSymbolFrame {};
class TGRIDFrame : public TOwnerSymbolFrame {};
class TPOPMFrame : public TOwnerSymbolFrame {};

class TGEOBFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string MIMEType, FileName, Description;
    TBytes Object;
    TLayout Layout() override {
        return {EncodingField(Encoding), TextField("MIMEType", TFieldKind::Latin1Z, MIMEType),
                TextField("FileName", TFieldKind::TextZ, FileName),
                TextField("Description", TFieldKind::TextZ, Description), BinaryField("Object", Object)};
    }
};

class TIPLSFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string People;  // involvement and name pairs, separated by zero characters
    TLayout Layout() override { return {EncodingField(Encoding), TextField("People", TFieldKind::TextRest, People)}; }
};

class TMCDIFrame : public TID3v2Frame {
public:
    uint32_t TOCHeader = 0;
    TBytes TOC;
    TLayout Layout() override { return {LongField("TOCHeader", TOCHeader), BinaryField("TOC", TOC)}; }

protected:
    TFit Fit() const override { return TFit::NumbersWhole; }
};

class TOWNEFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string PricePaid, PurchaseDate, Seller;
    TLayout Layout() override {
        return {EncodingField(Encoding), TextField("PricePaid", TFieldKind::Latin1Z, PricePaid),
                TextField("PurchaseDate", TFieldKind::Fixed, PurchaseDate, 8),
                TextField("Seller", TFieldKind::TextRest, Seller)};
    }
};

class TPCNTFrame : public TID3v2Frame {
public:
    TBytes Counter;
    TLayout Layout() override { return {BinaryField("Counter", Counter)}; }
};

// Owner text and data: PRIV, UFID (the identifier).
class TOwnerDataFrame : public TID3v2Frame {
public:
    std::string Owner;
    TBytes Data;
    TLayout Layout() override { return {TextField("Owner", TFieldKind::Latin1Z, Owner), BinaryField("Data", Data)}; }
};
class TPRIVFrame : public TOwnerDataFrame {};
class TUFIDFrame : public TOwnerDataFrame {};

class TRBUFFrame : public TID3v2Frame {
public:
    uint32_t BufferSize = 0;
    bool EmbeddedInfo = false;
    uint32_t NextTagOffset = 0;
    TLayout Layout() override {
        return {LongField("BufferSize", BufferSize), FlagField("EmbeddedInfo", EmbeddedInfo),
                LongField("NextTagOffset", NextTagOffset)};
    }

protected:
    TFit Fit() const override { return TFit::Exact; }  // other lengths are kept as they are
};

class TRVRBFrame : public TID3v2Frame {
public:
    uint16_t ReverbLeft = 0, ReverbRight = 0;
    uint8_t BouncesLeft = 0, BouncesRight = 0, FeedbackLeftToLeft = 0, FeedbackLeftToRight = 0,
            FeedbackRightToRight = 0, FeedbackRightToLeft = 0, PremixLeftToRight = 0, PremixRightToLeft = 0;
    TLayout Layout() override {
        return {WordField("ReverbLeft", ReverbLeft),
                WordField("ReverbRight", ReverbRight),
                ByteField("BouncesLeft", BouncesLeft),
                ByteField("BouncesRight", BouncesRight),
                ByteField("FeedbackLeftToLeft", FeedbackLeftToLeft),
                ByteField("FeedbackLeftToRight", FeedbackLeftToRight),
                ByteField("FeedbackRightToRight", FeedbackRightToRight),
                ByteField("FeedbackRightToLeft", FeedbackRightToLeft),
                ByteField("PremixLeftToRight", PremixLeftToRight),
                ByteField("PremixRightToLeft", PremixRightToLeft)};
    }

protected:
    TFit Fit() const override { return TFit::Exact; }
};

class TSYTCFrame : public TID3v2Frame {
public:
    uint8_t TimeStampFormat = 0;
    TBytes Data;
    TLayout Layout() override { return {ByteField("TimeStampFormat", TimeStampFormat), BinaryField("Data", Data)}; }

protected:
    TFit Fit() const override { return TFit::NumbersWhole; }
};

class TUSERFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Language = "ENG";
    std::string Text;
    TLayout Layout() override {
        return {EncodingField(Encoding), TextField("Language", TFieldKind::Fixed, Language, 3),
                TextField("Text", TFieldKind::TextRest, Text)};
    }
};

}  // namespace velmar
