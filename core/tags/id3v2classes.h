#pragma once
// ID3v2 tag header, extended header, frame header and the frame classes.
// Every frame class reads its body from the bytes the tag walk hands it
// (`ReadFromBuffer`), renders it again before writing (`Prepare`) and writes
// header and body (`WriteToStream`). Texts are UTF-8; writing uses encoding 0
// when every character lies in Latin-1, else UTF-16 with a byte-order mark.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
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

// Common part of every frame class.
class TID3v2Frame {
public:
    virtual ~TID3v2Frame() = default;
    // Takes the walked header and the frame's body (already inflated, without
    // the bytes that compression and grouping put in front). Returns false when
    // the body cannot be understood (an unknown text encoding); the caller then
    // keeps the frame as raw bytes.
    bool ReadFromBuffer(const TID3v2FrameHeader& walked, std::span<const uint8_t> body);
    // Renders the body, sets the header's identifier and size, clears the flags.
    void Prepare(const std::string& frameID);
    void WriteToStream(TStream& stream) const;
    const TBytes& RenderedBody() const { return Rendered; }
    // False for a frame that is left out of a written tag (a picture without data).
    virtual bool Writable() const { return true; }

    TID3v2FrameHeader FrameHeader;

protected:
    virtual bool ParseBody(std::span<const uint8_t> body) = 0;
    virtual TBytes RenderBody() = 0;

private:
    TBytes Rendered;
};

// A cursor over a frame body; reads past the end give zero bytes and empty texts.
struct TBodyReader {
    std::span<const uint8_t> Body;
    size_t Pos = 0;
    size_t Remaining() const { return Pos < Body.size() ? Body.size() - Pos : 0; }
    uint8_t Byte();
    uint16_t Word();
    uint32_t Long();
    TBytes Bytes(size_t count);
    TBytes Rest() { return Bytes(Remaining()); }
    std::string Latin1(size_t count);   // fixed-length single-byte text
    std::string ZLatin1();              // zero-terminated single-byte text
    std::string ZText(uint8_t encoding);    // zero-terminated text in an encoding
    std::string RestText(uint8_t encoding); // text to the end of the body
};

// Text information frames.
class TTxtFrame : public TID3v2Frame {
public:
    // Sets the text as a user enters it and parses it as reading would.
    virtual void SetText(const std::string& text);

    uint8_t Encoding = 0;
    std::string Text;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
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
struct TMediaType { const char* Name; const char* Code; };
const std::vector<TMediaType>& MediaTable();

class TTMEDFrame : public TTxtFrame {
public:
    std::string MediaType;        // long name as read; a row number or long name when set
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

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TWebFrame : public TID3v2Frame {
public:
    std::string URL;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TWXXXFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Description, URL;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

// A frame kept as its body bytes.
class TUndefinedFrame : public TID3v2Frame {
public:
    TBytes Data;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override { return Data; }
};

// A frame that is not one of the known identifiers, or that could not be
// understood, kept with its flags and written back unchanged.
class TRawFrame : public TUndefinedFrame {
public:
    // False for a frame of another tag version that has no ID3v2.3 form.
    bool KeepOnWrite = true;
    bool Writable() const override { return KeepOnWrite; }
    // The raw body exactly as stored (compression and grouping bytes included).
    void WriteToStream(TStream& stream) const;
};

class TAENCFrame : public TID3v2Frame {
public:
    std::string Owner;
    uint16_t PreviewStart = 0, PreviewLength = 0;
    TBytes EncryptionInfo;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
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

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TCOMMFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Language = "ENG";
    std::string Description, Text;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
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

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

// Owner text, one byte, data: ENCR (method symbol), GRID (group symbol),
// POPM (e-mail, rating, play counter).
class TOwnerSymbolFrame : public TID3v2Frame {
public:
    std::string Owner;
    uint8_t Symbol = 0;
    TBytes Data;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};
class TENCRFrame : public TOwnerSymbolFrame {};
class TGRIDFrame : public TOwnerSymbolFrame {};
class TPOPMFrame : public TOwnerSymbolFrame {};

class TGEOBFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string MIMEType, FileName, Description;
    TBytes Object;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TIPLSFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string People;  // involvement and name pairs, separated by zero characters

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TMCDIFrame : public TID3v2Frame {
public:
    uint32_t TOCHeader = 0;
    TBytes TOC;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TOWNEFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string PricePaid, PurchaseDate, Seller;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TPCNTFrame : public TID3v2Frame {
public:
    TBytes Counter;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override { return Counter; }
};

// Owner text and data: PRIV, UFID (the identifier).
class TOwnerDataFrame : public TID3v2Frame {
public:
    std::string Owner;
    TBytes Data;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};
class TPRIVFrame : public TOwnerDataFrame {};
class TUFIDFrame : public TOwnerDataFrame {};

class TRBUFFrame : public TID3v2Frame {
public:
    uint32_t BufferSize = 0;
    bool EmbeddedInfo = false;
    uint32_t NextTagOffset = 0;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TRVRBFrame : public TID3v2Frame {
public:
    uint16_t ReverbLeft = 0, ReverbRight = 0;
    uint8_t BouncesLeft = 0, BouncesRight = 0, FeedbackLeftToLeft = 0, FeedbackLeftToRight = 0,
            FeedbackRightToRight = 0, FeedbackRightToLeft = 0, PremixLeftToRight = 0, PremixRightToLeft = 0;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TSYTCFrame : public TID3v2Frame {
public:
    uint8_t TimeStampFormat = 0;
    TBytes Data;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

class TUSERFrame : public TID3v2Frame {
public:
    uint8_t Encoding = 0;
    std::string Language = "ENG";
    std::string Text;

protected:
    bool ParseBody(std::span<const uint8_t> body) override;
    TBytes RenderBody() override;
};

}  // namespace velmar
