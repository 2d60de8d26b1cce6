#pragma once
// Builds MP3 files for the core tests: MPEG frame sequences of any version,
// layer and bit rate, VBR headers, ID3v2.3 tags from frames, ID3v1 and Lyrics3
// blocks, temporary folders that clean up after themselves, and checks run as
// another user.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "base/iofunc.h"
#include "file/mp3object.h"
#include "mpeg/mpegframe.h"
#include "tags/id3v2obj.h"

namespace vtest {

namespace fs = std::filesystem;
using velmar::TBytes;

inline TBytes B(std::string_view s) { return TBytes(s.begin(), s.end()); }

inline TBytes Cat(std::initializer_list<TBytes> parts) {
    TBytes out;
    for (const TBytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline void Put32(TBytes& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// Texts joined with "|", to compare several fields in one expectation.
inline std::string Join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& p : parts) out += (&p == parts.begin() ? "" : "|") + p;
    return out;
}

inline TBytes Slice(const TBytes& b, int64_t from, int64_t to) { return TBytes(b.begin() + from, b.begin() + to); }

// A folder of its own under the system's temporary folder, removed with its contents.
class TTempDir {
public:
    TTempDir() {
        static std::atomic<unsigned> counter{0};
        Path = fs::temp_directory_path() /
               ("velmar-core-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(Path);
        fs::create_directories(Path);
    }
    ~TTempDir() {
        std::error_code ec;
        fs::permissions(Path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(Path, ec);
    }
    fs::path operator/(const std::string& name) const { return Path / name; }
    fs::path Put(const std::string& name, const TBytes& bytes) const;  // writes a file, returns its path
    fs::path Path;
};

inline void WriteFile(const fs::path& path, const TBytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
inline fs::path TTempDir::Put(const std::string& name, const TBytes& bytes) const {
    WriteFile(Path / name, bytes);
    return Path / name;
}

inline TBytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// MPEG frame header fields: Version 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5; Layer 1 III, 2 II, 3 I;
// Mode 0 stereo .. 3 mono; Crc: the protection bit is clear (a CRC word follows the header).
struct TFrameShape {
    uint8_t Version = 3, Layer = 1, Bitrate = 9, Sampling = 0, Mode = 1;
    bool Padding = false, Crc = false;
};

inline std::array<uint8_t, 4> Header(const TFrameShape& s) {
    return {0xFF, uint8_t(0xE0 | s.Version << 3 | s.Layer << 1 | (s.Crc ? 0 : 1)),
            uint8_t(s.Bitrate << 4 | s.Sampling << 2 | (s.Padding ? 2 : 0)), uint8_t(s.Mode << 6)};
}

// One whole frame: its header and a body without any 0xFF byte (so without false syncs).
inline TBytes Frame(const TFrameShape& s, unsigned seed = 0) {
    const auto h = Header(s);
    TBytes f(size_t(velmar::FrameLength(h.data())), 0);
    std::copy(h.begin(), h.end(), f.begin());
    for (size_t i = 4; i < f.size(); ++i) f[i] = uint8_t(1 + (i * 7 + seed) % 200);
    return f;
}

inline TBytes Frames(const TFrameShape& s, int count) {
    TBytes out;
    for (int i = 0; i < count; ++i) out = Cat({out, Frame(s, unsigned(i))});
    return out;
}

// A first frame carrying "Xing" or "Info" after the side information, or "VBRI" at
// offset 36. A count below 0 is left out (its flag bit clear).
inline TBytes VbrFrame(const TFrameShape& s, std::string_view marker, int64_t frames, int64_t bytes) {
    TBytes f = Frame(s);
    TBytes tag = B(marker);
    size_t at = 36;
    if (marker == "VBRI") {
        tag.insert(tag.end(), {0, 1, 0, 0, 0, 50});
        Put32(tag, uint32_t(bytes));
        Put32(tag, uint32_t(frames));
    } else {
        at = 4 + (s.Crc ? 2 : 0) + size_t(velmar::SideInfoLength(s.Version, s.Mode));
        Put32(tag, (frames >= 0 ? 1 : 0) | (bytes >= 0 ? 2 : 0));
        if (frames >= 0) Put32(tag, uint32_t(frames));
        if (bytes >= 0) Put32(tag, uint32_t(bytes));
    }
    std::copy(tag.begin(), tag.end(), f.begin() + int64_t(at));
    return f;
}

// An ID3v2.3 frame: identifier, plain 32-bit size, status and format flags, body.
inline TBytes Id3Frame(std::string_view id, const TBytes& body, uint8_t status = 0, uint8_t format = 0) {
    TBytes f = B(id);
    Put32(f, uint32_t(body.size()));
    return Cat({f, {status, format}, body});
}

// A tag header (sync-safe size) followed by the frames area and zero padding.
inline TBytes Id3Tag(const TBytes& frames, size_t padding = 0, uint8_t flags = 0, uint8_t version = 3) {
    const size_t n = frames.size() + padding;
    return Cat({{'I', 'D', '3', version, 0, flags, uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F),
                 uint8_t(n >> 7 & 0x7F), uint8_t(n & 0x7F)},
                frames,
                TBytes(padding, 0)});
}

// A text frame body: encoding byte and the bytes as given.
inline TBytes Txt(std::string_view bytes, uint8_t encoding = 0) { return Cat({{encoding}, B(bytes)}); }

// A 128-byte ID3v1 tag; Track below 0 makes an ID3v1.0 tag with a 30-character comment.
struct TV1 {
    std::string Title = {}, Artist = {}, Album = {}, Year = {}, Comment = {};
    int Track = -1;
    uint8_t Genre = 255;
};
inline TBytes Id3v1(const TV1& v) {
    TBytes t(128, 0);
    auto put = [&t](size_t at, const std::string& s, size_t width) {
        std::memcpy(t.data() + at, s.data(), std::min(width, s.size()));
    };
    put(0, "TAG", 3);
    put(3, v.Title, 30);
    put(33, v.Artist, 30);
    put(63, v.Album, 30);
    put(93, v.Year, 4);
    put(97, v.Comment, v.Track >= 0 ? 28 : 30);
    if (v.Track >= 0) t[126] = uint8_t(v.Track);
    t[127] = v.Genre;
    return t;
}

inline std::string Digits(size_t value, size_t width) {
    std::string s = std::to_string(value);
    return std::string(width > s.size() ? width - s.size() : 0, '0') + s;
}

// A Lyrics3 v2.00 block of the fields as given, in order.
inline TBytes Lyrics3(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string s = "LYRICSBEGIN";
    for (const auto& [name, content] : fields) s += name + Digits(content.size(), 5) + content;
    return B(s + Digits(s.size(), 6) + "LYRICS200");
}

// A two-second 16-bit stereo sine as a WAV file, for lame and twolame.
inline TBytes SineWav(int rate) {
    const int samples = rate * 2;
    TBytes pcm;
    for (int i = 0; i < samples; ++i) {
        const auto v = int16_t(8000 * std::sin(i * 2 * 3.14159265 * 440 / rate) + 3000 * std::sin(i * 0.37));
        for (int ch = 0; ch < 2; ++ch) pcm.insert(pcm.end(), {uint8_t(v), uint8_t(uint16_t(v) >> 8)});
    }
    auto le = [](uint32_t v, int n) {
        TBytes b;
        for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return b;
    };
    return Cat({B("RIFF"), le(uint32_t(36 + pcm.size()), 4), B("WAVEfmt "), le(16, 4), le(1, 2), le(2, 2),
                le(uint32_t(rate), 4), le(uint32_t(rate * 4), 4), le(4, 2), le(16, 2), B("data"),
                le(uint32_t(pcm.size()), 4), pcm});
}

// Reads a tag from its bytes as loading a file does, and writes one to bytes.
inline void ReadTag(velmar::TID3v2Object& tag, const TBytes& bytes) {
    velmar::TMemoryStream s(bytes);
    s.Seek(3);
    tag.Read(s);
}
inline TBytes SaveTag(velmar::TID3v2Object& tag) {
    velmar::TMemoryStream s;
    EXPECT_TRUE(tag.Save(s));
    return s.Data;
}

// A file object with its own message sink, loaded from a path.
struct TLoaded {
    explicit TLoaded(const fs::path& path, bool audio = true) : Ok(File.LoadFile(path, audio)) {}
    velmar::TCollectingSink Sink;
    velmar::TMP3Object File{Sink};
    bool Ok;
};

// Runs `body` in a child process, as `user` when running as root (else as the
// calling user), and returns what it returned: empty when every check held.
// `report` is a file the child may write.
inline std::string AsUser(uid_t user, const fs::path& report, const std::function<std::string()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0))
            ::_exit(3);
        WriteFile(report, B(body()));
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child did not finish";
    const TBytes text = ReadFile(report);
    return std::string(text.begin(), text.end());
}
constexpr uid_t kOtherUser = 65534;  // nobody

}  // namespace vtest
