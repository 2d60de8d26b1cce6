#include "iofunc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "sysio.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmar {

namespace {

std::string ErrnoText(const std::string& what, const std::string& name) {
    return what + " \"" + name + "\": " + std::strerror(errno);
}

// Decodes one UTF-8 sequence at s[i]; returns its length, 0 when it is not valid.
size_t NextUtf8(std::string_view s, size_t i, uint32_t& cp) {
    const auto b = uint8_t(s[i]);
    size_t len;
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    if ((b & 0xE0) == 0xC0) {
        len = 2;
        cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3;
        cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4;
        cp = b & 0x07;
    } else
        return 0;
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto c = uint8_t(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

namespace {

// True when one of the eight bytes may need an escape in JSON: below 0x20, 0x7F and up, '"' or '\\'.
bool AnyToEscape(uint64_t x) {
    constexpr uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
    auto zeroIn = [](uint64_t v) { return (v - kOnes) & ~v; };
    return ((x | (x - kOnes * 0x20) | zeroIn(x ^ (kOnes * '"')) | zeroIn(x ^ (kOnes * '\\')) |
             zeroIn(x ^ (kOnes * 0x7F))) &
            kHigh) != 0;
}

constexpr auto kJsonEscaped = [] {
    std::array<bool, 256> escaped{};
    for (int c = 0; c < 0x20; ++c) escaped[size_t(c)] = true;
    for (int c = 0x7F; c < 0x100; ++c) escaped[size_t(c)] = true;
    escaped['"'] = escaped['\\'] = true;
    return escaped;
}();

}  // namespace

size_t JsonPlainLength(std::string_view s) {
    // Plain ASCII is passed over eight bytes at a time: a report writes tens of short
    // texts for every file.
    size_t i = 0;
    for (uint64_t x; i + 8 <= s.size() && (std::memcpy(&x, s.data() + i, 8), !AnyToEscape(x));) i += 8;
    for (uint32_t cp = 0; i < s.size(); ++i) {
        const uint8_t c = uint8_t(s[i]);
        if (!kJsonEscaped[c]) continue;
        const size_t len = c >= 0x80 ? NextUtf8(s, i, cp) : 0;
        if (len == 0) break;
        i += len - 1;
    }
    return i;
}

void AppendJsonString(std::string& out, std::string_view s) {
    size_t i = JsonPlainLength(s);
    // A text that needs no escape is copied in one piece with its quotes.
    if (i == s.size()) {
        const size_t at = out.size();
        out.resize(at + s.size() + 2);
        char* to = out.data() + at;
        to[0] = '"';
        s.copy(to + 1, s.size());
        to[s.size() + 1] = '"';
        return;
    }
    out += '"';
    size_t plain = 0;  // where the run not yet copied begins
    for (; i < s.size(); ++i) {
        const uint8_t c = uint8_t(s[i]);
        if (!kJsonEscaped[c]) continue;
        if (c >= 0x80) {
            uint32_t cp = 0;
            if (const size_t len = NextUtf8(s, i, cp); len > 0) {
                i += len - 1;  // a whole character, copied with its run
                continue;
            }
        }
        out.append(s, plain, i - plain);
        plain = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", c >= 0x80 ? 0xFFFDu : unsigned(c));
                out += hex;
            }
        }
    }
    out.append(s, plain);
    out += '"';
}

void TStream::ReadExact(void* buffer, size_t count) {
    if (Read(buffer, count) != count) throw EStreamError("Stream read error");
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (Pos >= int64_t(Data.size())) return 0;
    const size_t n = std::min(count, Data.size() - size_t(Pos));
    std::memcpy(buffer, Data.data() + Pos, n);
    Pos += int64_t(n);
    return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return;
    const size_t end = size_t(Pos) + count;
    if (end > Data.size()) Data.resize(end);
    std::memcpy(Data.data() + Pos, buffer, count);
    Pos = int64_t(end);
}

TFileStream::TFileStream(const std::filesystem::path& path, TMode mode, unsigned permissions) : Name(path.string()) {
    if (mode == OpenRead) {
        // Never waits: a FIFO or a device under an audio file's name is refused below.
        // A link at the name is followed, and noted, by a second open.
        Fd = sysio::Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
        if (Fd < 0 && errno == ELOOP) {
            ThroughLink = true;
            Fd = sysio::Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
        }
        if (Fd < 0) throw EStreamError(ErrnoText("Cannot open file", Name));
        Stat = std::make_unique<struct stat>();
        if (sysio::Fstat(Fd, Stat.get()) != 0) {
            const std::string message = ErrnoText("Cannot read the status of file", Name);
            sysio::Close(Fd);
            Fd = -1;
            throw EStreamError(message);
        }
        if (!S_ISREG(Stat->st_mode)) {
            sysio::Close(Fd);
            Fd = -1;
            throw EStreamError("Cannot open file \"" + Name + "\": " +
                               (S_ISDIR(Stat->st_mode) ? "Is a directory" : "not a regular file"));
        }
    } else {
        Fd = sysio::Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK, permissions);
        if (Fd < 0) throw EStreamError(ErrnoText("Cannot create file", Name));
    }
}

TFileStream::~TFileStream() {
    if (Fd >= 0) sysio::Close(Fd);
}

const struct stat& TFileStream::Status() const {
    if (!Stat) throw EStreamError("The status of file \"" + Name + "\" was not taken");
    return *Stat;
}

bool TFileStream::FromKept(int64_t offset, void* buffer, size_t count) const {
    const int64_t end = offset + int64_t(count);
    if (offset >= 0 && end <= int64_t(Head.size())) {
        std::memcpy(buffer, Head.data() + offset, count);
        return true;
    }
    if (!Tail.empty() && offset >= TailAt && end <= TailAt + int64_t(Tail.size())) {
        std::memcpy(buffer, Tail.data() + (offset - TailAt), count);
        return true;
    }
    return false;
}

size_t TFileStream::ReadAt(int64_t offset, void* buffer, size_t count) {
    // Nothing lies past the end of a file opened for reading: such a read is cut
    // first, so that it can still be served from the kept tail.
    if (Stat) count = size_t(std::clamp<int64_t>(int64_t(Stat->st_size) - offset, 0, int64_t(count)));
    if (count == 0 || FromKept(offset, buffer, count)) return count;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = sysio::Pread(Fd, static_cast<char*>(buffer) + done, count - done, offset + int64_t(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(ErrnoText("Read error in file", Name));
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return done;
}

size_t TFileStream::KeepHead(size_t count) {
    const size_t want = size_t(std::min<int64_t>(int64_t(count), Size()));
    if (want > Head.size()) {
        const size_t had = Head.size();
        TBytes grown = std::move(Head);
        Head.clear();  // so that the read below goes to the file
        grown.resize(want);
        grown.resize(had + ReadAt(int64_t(had), grown.data() + had, want - had));
        Head = std::move(grown);
    }
    return Head.size();
}

void TFileStream::KeepTail(size_t count) {
    const int64_t size = Size();
    const int64_t from = std::max<int64_t>(int64_t(Head.size()), size - int64_t(count));
    Tail.clear();
    if (from >= size) return;
    TBytes bytes(size_t(size - from));
    bytes.resize(ReadAt(from, bytes.data(), bytes.size()));
    Tail = std::move(bytes);
    TailAt = from;
}

namespace {

std::span<const uint8_t> Within(std::span<const uint8_t> held, int64_t offset, size_t count) {
    if (offset < 0 || size_t(offset) > held.size() || count > held.size() - size_t(offset)) return {};
    return held.subspan(size_t(offset), count);
}

}  // namespace

std::span<const uint8_t> TMemoryStream::HeldAt(int64_t offset, size_t count) const {
    return Within(Data, offset, count);
}

std::span<const uint8_t> TFileStream::HeldAt(int64_t offset, size_t count) const { return Within(Head, offset, count); }

std::span<const uint8_t> TFileStream::HeadFrom(int64_t offset) const {
    if (offset < 0 || offset >= int64_t(Head.size())) return {};
    return std::span<const uint8_t>(Head).subspan(size_t(offset));
}

size_t TFileStream::Read(void* buffer, size_t count) {
    const size_t n = ReadAt(Pos, buffer, count);
    Pos += int64_t(n);
    return n;
}

void TFileStream::Write(const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = sysio::Pwrite(Fd, static_cast<const char*>(buffer) + done, count - done, Pos);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(ErrnoText("Write error in file", Name));
        }
        done += size_t(n);
        Pos += n;
    }
}

int64_t TFileStream::Size() {
    if (Stat) return int64_t(Stat->st_size);
    struct stat st {};
    if (sysio::Fstat(Fd, &st) != 0) throw EStreamError(ErrnoText("Cannot read the size of file", Name));
    return int64_t(st.st_size);
}

void TFileStream::Flush() {
    if (sysio::Fsync(Fd) != 0) throw EStreamError(ErrnoText("Cannot flush file", Name));
}

void TFileStream::Close() {
    if (Fd < 0) return;
    const int rc = sysio::Close(Fd);
    Fd = -1;
    if (rc != 0) throw EStreamError(ErrnoText("Cannot close file", Name));
}

uint8_t BufReadByte(std::span<const uint8_t> buf, int32_t& index) {
    const uint8_t b = index >= 0 && size_t(index) < buf.size() ? buf[size_t(index)] : 0;
    ++index;
    return b;
}

uint16_t BufReadWord(std::span<const uint8_t> buf, int32_t& index) {
    const uint16_t hi = BufReadByte(buf, index);
    return uint16_t((hi << 8) | BufReadByte(buf, index));
}

uint32_t BufReadLong(std::span<const uint8_t> buf, int32_t& index) {
    const uint32_t hi = BufReadWord(buf, index);
    return (hi << 16) | BufReadWord(buf, index);
}

TBytes BufReadBytes(std::span<const uint8_t> buf, int32_t& index, int32_t count) {
    TBytes out;
    if (count <= 0) return out;
    if (index >= 0 && size_t(index) < buf.size()) {
        const size_t n = std::min(size_t(count), buf.size() - size_t(index));
        out.assign(buf.begin() + index, buf.begin() + index + int64_t(n));
    }
    index += count;
    return out;
}

std::string BufReadText(std::span<const uint8_t> buf, int32_t& index, int32_t count) {
    std::string out;
    if (count <= 0) return out;
    if (index >= 0 && size_t(index) < buf.size())
        out.assign(reinterpret_cast<const char*>(buf.data()) + index,
                   std::min(size_t(count), buf.size() - size_t(index)));
    index += count;
    return out;
}

std::string BufReadZText(std::span<const uint8_t> buf, int32_t& index) {
    std::string s;
    while (index >= 0 && size_t(index) < buf.size()) {
        const uint8_t b = buf[size_t(index++)];
        if (b == 0) return s;
        s += char(b);
    }
    return s;
}

uint8_t StreamReadByte(TStream& s) {
    uint8_t b;
    s.ReadExact(&b, 1);
    return b;
}

uint16_t StreamReadWord(TStream& s) {
    uint8_t b[2];
    s.ReadExact(b, 2);
    return uint16_t((b[0] << 8) | b[1]);
}

uint32_t StreamReadLong(TStream& s) {
    uint8_t b[4];
    s.ReadExact(b, 4);
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

TBytes StreamReadBytes(TStream& s, size_t count) {
    TBytes b(count);
    s.ReadExact(b.data(), count);
    return b;
}

std::string StreamReadText(TStream& s, size_t count) {
    std::string t(count, '\0');
    s.ReadExact(t.data(), count);
    return t;
}

void StreamWriteByte(TStream& s, uint8_t value) { s.Write(&value, 1); }

void StreamWriteWord(TStream& s, uint16_t value) {
    const uint8_t b[2] = {uint8_t(value >> 8), uint8_t(value)};
    s.Write(b, 2);
}

void StreamWriteLong(TStream& s, uint32_t value) {
    const uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    s.Write(b, 4);
}

void StreamWriteBytes(TStream& s, std::span<const uint8_t> bytes) { s.Write(bytes.data(), bytes.size()); }

void StreamWriteText(TStream& s, std::string_view text) { s.Write(text.data(), text.size()); }

void StreamWriteZText(TStream& s, std::string_view text) {
    StreamWriteText(s, text);
    StreamWriteByte(s, 0);
}

int32_t ZTextSize(std::string_view text) { return int32_t(text.size()) + 1; }
int32_t UnicodeZTextSize(std::string_view text) { return 2 * int32_t(text.size()) + 4; }

std::string Latin1ToUtf8(std::string_view latin1) {
    // Runs of ASCII, most of any tag's text, are copied at once; each other byte takes two.
    const size_t high = size_t(std::count_if(latin1.begin(), latin1.end(), [](char c) { return uint8_t(c) >= 0x80; }));
    std::string out;
    out.reserve(latin1.size() + high);
    size_t plain = 0;
    for (size_t i = 0; i < latin1.size() && high > 0; ++i) {
        const uint8_t c = uint8_t(latin1[i]);
        if (c < 0x80) continue;
        out.append(latin1, plain, i - plain);
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
        plain = i + 1;
    }
    out.append(latin1, plain);
    return out;
}

std::string Utf8ToLatin1(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp;
        const size_t len = NextUtf8(utf8, i, cp);
        if (len == 0) {
            out += utf8[i++];
            continue;
        }
        out += cp <= 0xFF ? char(cp) : replacement;
        i += len;
    }
    return out;
}

bool IsLatin1Text(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp;
        const size_t len = NextUtf8(utf8, i, cp);
        if (len == 0 || cp > 0xFF) return false;
        i += len;
    }
    return true;
}

size_t Utf8SequenceAt(std::string_view text, size_t i, uint32_t& cp) { return NextUtf8(text, i, cp); }

std::string DecodeUtf16(const uint8_t* data, size_t count, bool bigEndian) {
    std::string out;
    out.reserve(count / 2);
    uint32_t pendingHigh = 0;
    for (size_t i = 0; i + 1 < count; i += 2) {
        const uint16_t u = bigEndian ? uint16_t((data[i] << 8) | data[i + 1]) : uint16_t((data[i + 1] << 8) | data[i]);
        if (u == 0xFEFF) continue;  // a mark in our byte order
        if (u == 0xFFFE) {
            bigEndian = !bigEndian;
            continue;
        }  // a mark in the other order
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (pendingHigh) AppendUtf8(out, 0xFFFD);
            pendingHigh = u;
            continue;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) {
            AppendUtf8(out, pendingHigh ? 0x10000 + ((pendingHigh - 0xD800) << 10) + (u - 0xDC00) : 0xFFFD);
            pendingHigh = 0;
            continue;
        }
        if (pendingHigh) {
            AppendUtf8(out, 0xFFFD);
            pendingHigh = 0;
        }
        AppendUtf8(out, u);
    }
    if (pendingHigh) AppendUtf8(out, 0xFFFD);
    return out;
}

std::string DecodeUtf8(const uint8_t* data, size_t count) {
    const std::string_view s(reinterpret_cast<const char*>(data), count);
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        const size_t len = NextUtf8(s, i, cp);
        if (len == 0) return Latin1ToUtf8(s);
        i += len;
    }
    return std::string(s);
}

void AppendUtf16(TBytes& out, std::string_view utf8) {
    out.push_back(0xFF);
    out.push_back(0xFE);
    auto unit = [&](uint32_t u) {
        out.push_back(uint8_t(u));
        out.push_back(uint8_t(u >> 8));
    };
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp;
        size_t len = NextUtf8(utf8, i, cp);
        if (len == 0) {
            cp = uint8_t(utf8[i]);
            len = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
        i += len;
    }
}

bool IsKnownEncoding(uint8_t encoding) { return encoding <= 3; }

std::string DecodeText(uint8_t encoding, const uint8_t* data, size_t count) {
    switch (encoding) {
        case 0: return Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(data), count));
        case 1: {
            // A missing byte-order mark is read as little-endian, as Windows writers mean it.
            const bool be = count >= 2 && data[0] == 0xFE && data[1] == 0xFF;
            return DecodeUtf16(data, count, be);
        }
        case 2: return DecodeUtf16(data, count, true);
        default: return DecodeUtf8(data, count);
    }
}

size_t TerminatorSize(uint8_t encoding) { return encoding == 1 || encoding == 2 ? 2 : 1; }

size_t FindTerminator(uint8_t encoding, const uint8_t* data, size_t count) {
    if (count == 0) return 0;  // the data of an empty body may be null, which memchr must not get
    if (TerminatorSize(encoding) == 1) {
        const void* z = std::memchr(data, 0, count);
        return z ? size_t(static_cast<const uint8_t*>(z) - data) : count;
    }
    for (size_t i = 0; i + 1 < count; i += 2)
        if (data[i] == 0 && data[i + 1] == 0) return i;
    return count;
}

uint8_t ChooseEncoding(std::initializer_list<std::string_view> texts) {
    for (const auto t : texts)
        if (!IsLatin1Text(t)) return 1;
    return 0;
}

void AppendEncodedText(TBytes& out, uint8_t encoding, std::string_view utf8, bool terminate) {
    if (encoding == 1) {
        AppendUtf16(out, utf8);
        if (terminate) {
            out.push_back(0);
            out.push_back(0);
        }
    } else {
        const std::string l = Utf8ToLatin1(utf8);
        out.insert(out.end(), l.begin(), l.end());
        if (terminate) out.push_back(0);
    }
}

bool DecompressFrameData(std::span<const uint8_t> compressed, TBytes& out, size_t limit) {
    out.clear();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = uInt(compressed.size());
    uint8_t chunk[16384];
    int rc = Z_OK;
    while (rc == Z_OK && out.size() < limit) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t produced = sizeof chunk - z.avail_out;
        out.insert(out.end(), chunk, chunk + std::min(produced, limit - out.size()));
        if (produced == 0 && rc == Z_OK) break;  // no progress: input exhausted
    }
    inflateEnd(&z);
    return (rc == Z_STREAM_END || rc == Z_OK || rc == Z_BUF_ERROR) && !out.empty();
}

std::string FormatTwoDigits(int64_t n) {
    std::string s = std::to_string(n);
    return n >= 0 && n <= 9 ? "0" + s : s;
}

std::string FormatPlayLength(int64_t seconds) {
    return FormatTwoDigits(seconds / 60) + ":" + FormatTwoDigits(seconds % 60);
}

}  // namespace velmar
