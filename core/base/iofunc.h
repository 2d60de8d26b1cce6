#pragma once
// Tag stream helpers: bounded readers over tag bytes, streams over files and
// memory, big-endian writers, text encodings, and inflating compressed frames.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

using TBytes = std::vector<uint8_t>;

// A read or write of a stream that could not be done in full.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A seekable byte stream; Read returns what it could read, Write throws on failure.
class TStream {
public:
    virtual ~TStream() = default;
    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual void Write(const void* buffer, size_t count) = 0;
    virtual int64_t Position() const = 0;
    virtual void Seek(int64_t position) = 0;
    virtual int64_t Size() = 0;
    void ReadExact(void* buffer, size_t count);  // throws EStreamError when short
    // The `count` bytes at `offset` when the stream holds them all in memory, so that a
    // reader may look at them in place; else empty.
    virtual std::span<const uint8_t> HeldAt(int64_t /*offset*/, size_t /*count*/) const { return {}; }
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(TBytes data) : Data(std::move(data)) {}
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    int64_t Position() const override { return Pos; }
    void Seek(int64_t position) override { Pos = position < 0 ? 0 : position; }
    int64_t Size() override { return int64_t(Data.size()); }
    std::span<const uint8_t> HeldAt(int64_t offset, size_t count) const override;
    TBytes Data;

private:
    int64_t Pos = 0;
};

// A file opened for reading (others may read and write it meanwhile) or created
// for writing. Reads go straight to the file with pread, without buffering,
// except for the regions kept with KeepHead and KeepTail: reads that fall inside
// them are served from memory, so a reader can take the head and tail of a file in
// two system calls and then look at them in as many small pieces as it likes.
class TFileStream : public TStream {
public:
    enum TMode { OpenRead, CreateNew };
    // Opening for reading takes the file's status once (Status, and Size from it).
    TFileStream(const std::filesystem::path& path, TMode mode, unsigned permissions = 0644);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    size_t Read(void* buffer, size_t count) override;
    size_t ReadAt(int64_t offset, void* buffer, size_t count);  // keeps the position
    void Write(const void* buffer, size_t count) override;
    int64_t Position() const override { return Pos; }
    void Seek(int64_t position) override { Pos = position < 0 ? 0 : position; }
    int64_t Size() override;
    void Flush();  // writes the file's data to the disk
    void Close();  // throws when the file could not be closed cleanly
    int Handle() const { return Fd; }
    const struct stat& Status() const;  // as taken when the file was opened for reading
    bool OpenedThroughLink() const { return ThroughLink; }  // the name opened for reading is a link

    // Reads [0, count) into memory (only the part not kept yet); returns the bytes kept.
    size_t KeepHead(size_t count);
    // Reads the last `count` bytes that do not lie in the head into memory.
    void KeepTail(size_t count);
    // The kept head from `offset` on (empty when `offset` lies outside it).
    std::span<const uint8_t> HeadFrom(int64_t offset) const;
    std::span<const uint8_t> HeldAt(int64_t offset, size_t count) const override;

private:
    bool FromKept(int64_t offset, void* buffer, size_t count) const;

    int Fd = -1;
    int64_t Pos = 0;
    std::string Name;
    std::unique_ptr<struct stat> Stat;
    bool ThroughLink = false;
    TBytes Head;
    TBytes Tail;
    int64_t TailAt = 0;
};

// Bounded readers over tag bytes. Each reads at `index` and advances it by what
// it consumed; none reads past the end of `buf` (missing bytes read as zero,
// texts stop at the end).
uint8_t BufReadByte(std::span<const uint8_t> buf, int32_t& index);
uint16_t BufReadWord(std::span<const uint8_t> buf, int32_t& index);
uint32_t BufReadLong(std::span<const uint8_t> buf, int32_t& index);
TBytes BufReadBytes(std::span<const uint8_t> buf, int32_t& index, int32_t count);
std::string BufReadText(std::span<const uint8_t> buf, int32_t& index, int32_t count);  // bytes as they are
std::string BufReadZText(std::span<const uint8_t> buf, int32_t& index);                // up to a zero byte

// Stream readers; short reads throw EStreamError.
uint8_t StreamReadByte(TStream& s);
uint16_t StreamReadWord(TStream& s);
uint32_t StreamReadLong(TStream& s);
TBytes StreamReadBytes(TStream& s, size_t count);
std::string StreamReadText(TStream& s, size_t count);

// Stream writers, big-endian.
void StreamWriteByte(TStream& s, uint8_t value);
void StreamWriteWord(TStream& s, uint16_t value);
void StreamWriteLong(TStream& s, uint32_t value);
void StreamWriteBytes(TStream& s, std::span<const uint8_t> bytes);
void StreamWriteText(TStream& s, std::string_view text);
void StreamWriteZText(TStream& s, std::string_view text);

int32_t ZTextSize(std::string_view text);         // length + 1
int32_t UnicodeZTextSize(std::string_view text);  // 2 x length + 4

// Decimal text of n with a "0" in front when n is 9 or less.
std::string FormatTwoDigits(int64_t n);
// "mm:ss" of whole seconds; minutes are not limited to two digits.
std::string FormatPlayLength(int64_t seconds);

// Text encodings. Texts in the core are UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);
// Characters above U+00FF become `replacement`.
std::string Utf8ToLatin1(std::string_view utf8, char replacement = '?');
bool IsLatin1Text(std::string_view utf8);
// The length of the well-formed UTF-8 sequence that begins at text[i] (i < size),
// with its code point in `cp`; 0 when no such sequence begins there (a stray or
// cut-short byte, an overlong form, a surrogate or a value above U+10FFFF).
size_t Utf8SequenceAt(std::string_view text, size_t i, uint32_t& cp);
// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp);
// Appends `s` as a JSON string, quotes included; runs of plain characters are copied
// at once. A byte that does not begin a well-formed UTF-8 sequence becomes U+FFFD,
// so the string is valid UTF-8 whatever a name or tag holds.
void AppendJsonString(std::string& out, std::string_view s);
// How much of `s`, from its start, AppendJsonString copies as it stands (no escape needed).
size_t JsonPlainLength(std::string_view s);
// UTF-16 with optional byte-order marks anywhere (a mark switches the byte order);
// surrogate pairs are joined; an unpaired surrogate becomes U+FFFD.
std::string DecodeUtf16(const uint8_t* data, size_t count, bool bigEndian);
// UTF-8 as it is when valid; otherwise every byte is taken as Latin-1.
std::string DecodeUtf8(const uint8_t* data, size_t count);
void AppendUtf16(TBytes& out, std::string_view utf8);  // little-endian with byte-order mark

// ID3v2 text encodings: 0 Latin-1, 1 UTF-16 with mark, 2 UTF-16BE, 3 UTF-8.
bool IsKnownEncoding(uint8_t encoding);
std::string DecodeText(uint8_t encoding, const uint8_t* data, size_t count);
size_t TerminatorSize(uint8_t encoding);
// Offset of the text's terminator within `count` bytes, or `count` when it has none.
size_t FindTerminator(uint8_t encoding, const uint8_t* data, size_t count);
// The encoding a written frame uses for these texts: 0 when every character
// lies in Latin-1, else 1.
uint8_t ChooseEncoding(std::initializer_list<std::string_view> texts);
void AppendEncodedText(TBytes& out, uint8_t encoding, std::string_view utf8, bool terminate);

// Inflates a zlib stream. Stops at `limit` bytes of output; returns false when the
// data are not a zlib stream that yields anything.
bool DecompressFrameData(std::span<const uint8_t> compressed, TBytes& out, size_t limit);

}  // namespace velmar
