// Writes a folder of small, varied MP3 files for the tag-reading benchmark.
//
// Every file is an MPEG-1 Layer III stream of silent frames (valid headers,
// zeroed side information and payload) between varied tags: an ID3v2.3 tag of
// 5 to 15 frames (Latin-1 and UTF-16 texts, COMM, TXXX, sometimes an APIC of a
// few KB, sometimes padding), on some files an ID3v1 tag, on a few an Xing (VBR)
// or Info (CBR) header in the first frame. The output depends only on the seed
// and the count, so every run measures the same files.
//
// usage: velmar-bench-gen FOLDER [COUNT [PER_SUBFOLDER [SEED [AUDIO_KB]]]]
//   AUDIO_KB: every file's stream this many KiB (default 20 to 200, varied), for
//   collections of many files that must not fill the disk; the tags stay the same.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// SplitMix64: the same numbers with every compiler and standard library.
class Random {
public:
    explicit Random(uint64_t seed) : State(seed) {}
    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number in [lo, hi].
    int Range(int lo, int hi) { return lo + int(Next() % uint64_t(hi - lo + 1)); }
    bool Chance(int percent) { return Range(0, 99) < percent; }
    template <class T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Next() % N];
    }

private:
    uint64_t State;
};

const char* const kWords[] = {"Blue",   "Night",  "River", "Echo",   "Silver", "Golden", "Morning", "Rain",
                              "Fire",   "Dance",  "Dream", "Heart",  "Shadow", "Light",  "Ocean",   "Road",
                              "Winter", "Summer", "Storm", "Garden", "City",   "Stone",  "Wind",    "Song"};
// Texts outside Latin-1 (written as UTF-16): Greek, Cyrillic, Japanese, and one beyond the BMP.
const char* const kWideWords[] = {"Καλημέρα", "Москва", "東京の夜", "Ünïcödé ✓", "Ελλάδα", "звезда", "音楽", "🎵 Music"};
const char* const kGenres[] = {"Rock", "Pop", "Jazz", "(17)", "(13)Pop", "Classical", "(32)", "Electronic", "Folk"};
const char* const kLanguages[] = {"eng", "deu", "fra", "XXX"};

std::string Words(Random& rnd, int lo, int hi, bool wide) {
    std::string s;
    const int n = rnd.Range(lo, hi);
    for (int i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += wide && rnd.Chance(50) ? rnd.Pick(kWideWords) : rnd.Pick(kWords);
    }
    return s;
}

// UTF-8 to UTF-16LE code units.
std::vector<uint16_t> Utf16(std::string_view s) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i < s.size();) {
        const uint8_t c = uint8_t(s[i]);
        uint32_t cp;
        int len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if (c < 0xE0) {
            cp = c & 0x1F;
            len = 2;
        } else if (c < 0xF0) {
            cp = c & 0x0F;
            len = 3;
        } else {
            cp = c & 0x07;
            len = 4;
        }
        for (int k = 1; k < len; ++k) cp = (cp << 6) | (uint8_t(s[i + size_t(k)]) & 0x3F);
        i += size_t(len);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(uint16_t(0xD800 + (cp >> 10)));
            out.push_back(uint16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(uint16_t(cp));
        }
    }
    return out;
}

bool IsAscii(std::string_view s) {
    for (const char c : s)
        if (uint8_t(c) >= 0x80) return false;
    return true;
}

// Text in an ID3v2 frame body: Latin-1 for ASCII texts, else UTF-16 with a byte-order mark.
void PutText(Bytes& out, uint8_t encoding, std::string_view text, bool terminate) {
    if (encoding == 0) {
        out.insert(out.end(), text.begin(), text.end());
        if (terminate) out.push_back(0);
        return;
    }
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (const uint16_t u : Utf16(text)) {
        out.push_back(uint8_t(u));
        out.push_back(uint8_t(u >> 8));
    }
    if (terminate) {
        out.push_back(0);
        out.push_back(0);
    }
}

void PutBig32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void AddFrame(Bytes& tag, const char* id, const Bytes& body) {
    tag.insert(tag.end(), id, id + 4);
    PutBig32(tag, uint32_t(body.size()));
    tag.push_back(0);
    tag.push_back(0);
    tag.insert(tag.end(), body.begin(), body.end());
}

void AddTextFrame(Bytes& tag, const char* id, const std::string& text) {
    Bytes body;
    const uint8_t encoding = IsAscii(text) ? 0 : 1;
    body.push_back(encoding);
    PutText(body, encoding, text, false);
    AddFrame(tag, id, body);
}

Bytes MakeId3v2(Random& rnd, int index, std::string& title, std::string& artist) {
    const bool wide = rnd.Chance(30);
    title = Words(rnd, 1, 4, wide);
    artist = Words(rnd, 1, 3, wide);
    Bytes frames;
    AddTextFrame(frames, "TIT2", title);
    AddTextFrame(frames, "TPE1", artist);
    AddTextFrame(frames, "TALB", Words(rnd, 1, 4, wide));
    AddTextFrame(frames, "TRCK",
                 rnd.Chance(50) ? std::to_string(rnd.Range(1, 20)) : std::to_string(rnd.Range(1, 12)) + "/12");
    AddTextFrame(frames, "TYER", std::to_string(rnd.Range(1960, 2024)));
    int count = 5;
    const int wanted = rnd.Range(5, 15);
    // Optional frames, in a varied order, until the wanted count is reached;
    // only COMM, TXXX and PRIV occur more than once.
    bool used[10] = {};
    for (int guard = 0; count < wanted && guard < 40; ++guard) {
        const int kind = rnd.Range(0, 9);
        if (used[kind] && kind != 1 && kind != 2 && kind != 9) continue;
        used[kind] = true;
        switch (kind) {
            case 0: AddTextFrame(frames, "TCON", rnd.Pick(kGenres)); break;
            case 1: {
                Bytes body;
                const std::string text = Words(rnd, 3, 12, wide);
                const uint8_t encoding = IsAscii(text) ? 0 : 1;
                body.push_back(encoding);
                const char* lang = rnd.Pick(kLanguages);
                body.insert(body.end(), lang, lang + 3);
                PutText(body, encoding, rnd.Chance(50) ? "" : "Comment", true);
                PutText(body, encoding, text, false);
                AddFrame(frames, "COMM", body);
                break;
            }
            case 2: {
                Bytes body;
                const std::string value = rnd.Chance(50) ? Words(rnd, 1, 3, wide) : std::to_string(rnd.Next() % 100000);
                const uint8_t encoding = IsAscii(value) ? 0 : 1;
                body.push_back(encoding);
                static const char* const kKeys[] = {"REPLAYGAIN_TRACK_GAIN", "MusicBrainz Album Id", "CATALOGNUMBER",
                                                    "Source", "MOOD"};
                PutText(body, encoding, rnd.Pick(kKeys), true);
                PutText(body, encoding, value, false);
                AddFrame(frames, "TXXX", body);
                break;
            }
            case 3: AddTextFrame(frames, "TPE2", Words(rnd, 1, 3, wide)); break;
            case 4: AddTextFrame(frames, "TCOM", Words(rnd, 1, 3, wide)); break;
            case 5: AddTextFrame(frames, "TENC", "LAME 3.100"); break;
            case 6: AddTextFrame(frames, "TBPM", std::to_string(rnd.Range(60, 180))); break;
            case 7: AddTextFrame(frames, "TPOS", std::to_string(rnd.Range(1, 2)) + "/2"); break;
            case 8: AddTextFrame(frames, "TCOP", "(C) " + std::to_string(rnd.Range(1970, 2024)) + " Label"); break;
            case 9: {
                Bytes body;
                PutText(body, 0, "velmar-bench", true);
                for (int i = 0; i < 16; ++i) body.push_back(uint8_t(rnd.Next()));
                AddFrame(frames, "PRIV", body);
                break;
            }
        }
        ++count;
    }
    if (index % 7 == 3) {  // a cover picture of a few KB
        Bytes body;
        body.push_back(0);
        PutText(body, 0, "image/jpeg", true);
        body.push_back(3);  // front cover
        PutText(body, 0, rnd.Chance(50) ? "" : "cover", true);
        const int size = rnd.Range(2, 8) * 1024;
        const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};
        body.insert(body.end(), jpeg, jpeg + 4);
        for (int i = 4; i < size; ++i) body.push_back(uint8_t(rnd.Next()));
        AddFrame(frames, "APIC", body);
    }
    const size_t padding = rnd.Chance(40) ? size_t(rnd.Range(1, 4)) * 512 : 0;
    frames.resize(frames.size() + padding, 0);

    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    const uint32_t size = uint32_t(frames.size());
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(uint8_t((size >> shift) & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

Bytes MakeId3v1(Random& rnd, const std::string& title, const std::string& artist) {
    Bytes tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    auto put = [&tag](size_t at, const std::string& s, size_t width) {
        std::memcpy(tag.data() + at, s.data(), std::min(width, s.size()));
    };
    put(3, IsAscii(title) ? title : "Title", 30);
    put(33, IsAscii(artist) ? artist : "Artist", 30);
    put(63, "Album", 30);
    put(93, std::to_string(rnd.Range(1960, 2024)), 4);
    put(97, "v1 comment", 28);
    tag[126] = uint8_t(rnd.Range(1, 20));
    tag[127] = uint8_t(rnd.Range(0, 147));
    return tag;
}

const int kMpeg1Bitrates[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const int kMpeg1Rates[3] = {44100, 48000, 32000};

// Appends silent frames (after an Xing or Info frame when asked) until they fill targetBytes; returns their size.
size_t AppendStream(Bytes& out, Random& rnd, size_t targetBytes, int vbrKind /*0 none, 1 Xing, 2 Info*/) {
    const int rateIndex = rnd.Chance(70) ? 0 : rnd.Range(1, 2);
    const int rate = kMpeg1Rates[rateIndex];
    const int mode = rnd.Pick({0, 1, 1, 1, 3});  // stereo, joint stereo (most), mono
    const int cbrIndex = rnd.Pick({5, 7, 9, 9, 9, 11, 13, 14});
    auto header = [&](int bitrateIndex, bool padding) {
        return std::array<uint8_t, 4>{0xFF, 0xFB, uint8_t(bitrateIndex << 4 | rateIndex << 2 | (padding ? 2 : 0)),
                                      uint8_t(mode << 6 | (mode == 1 ? 0x20 : 0) | 0x04)};
    };
    const size_t start = out.size();
    int64_t rest = 0;  // padding slots owed, in units of 1/rate bytes
    auto frame = [&](int bitrateIndex) -> size_t {
        const int64_t num = 144LL * kMpeg1Bitrates[bitrateIndex] * 1000;
        rest += num % rate;
        const bool pad = rest >= rate;
        if (pad) rest -= rate;
        const size_t len = size_t(num / rate) + (pad ? 1 : 0);
        const auto h = header(bitrateIndex, pad);
        const size_t at = out.size();
        out.resize(at + len, 0);
        std::memcpy(out.data() + at, h.data(), 4);
        return at;
    };
    // As encoders do: an Info frame has the stream's bitrate, an Xing frame one that holds the block
    // (every bitrate offered here does: 64 kbps gives 192 bytes or more, the block needs 36 + 120).
    size_t infoAt = 0;
    if (vbrKind) infoAt = frame(vbrKind == 2 ? cbrIndex : 9);
    const size_t audioFrom = out.size();  // frames and bytes in the block count the frames after it
    int64_t frames = 0;
    while (out.size() - start < targetBytes) {
        const int bitrateIndex = vbrKind == 1 ? rnd.Range(5, 14) : cbrIndex;
        frame(bitrateIndex);
        ++frames;
    }
    if (vbrKind) {
        // Xing/Info block after the side information: flags, frames, bytes, TOC, quality.
        Bytes block;
        const char* tag = vbrKind == 1 ? "Xing" : "Info";
        block.insert(block.end(), tag, tag + 4);
        PutBig32(block, 0x0F);
        PutBig32(block, uint32_t(frames));
        PutBig32(block, uint32_t(out.size() - audioFrom));
        for (int i = 0; i < 100; ++i) block.push_back(uint8_t(i * 256 / 100));
        PutBig32(block, 57);
        const size_t side = mode == 3 ? 17 : 32;
        std::memcpy(out.data() + infoAt + 4 + side, block.data(), block.size());
    }
    return out.size() - start;
}

bool WriteFile(const fs::path& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return bool(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: velmar-bench-gen FOLDER [COUNT [PER_SUBFOLDER [SEED [AUDIO_KB]]]]\n";
        return 2;
    }
    const fs::path folder = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int perFolder = argc > 3 ? std::max(1, std::atoi(argv[3])) : 500;
    const uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 20240611;
    const int audioKb = argc > 5 ? std::max(1, std::atoi(argv[5])) : 0;
    Random rnd(seed);
    uint64_t total = 0;
    int withV1 = 0, withoutV2 = 0, xing = 0, info = 0, pictures = 0;
    for (int i = 0; i < count; ++i) {
        char sub[32], name[32];
        std::snprintf(sub, sizeof sub, "d%03d", i / perFolder);
        std::snprintf(name, sizeof name, "t%05d.mp3", i);
        const fs::path dir = folder / sub;
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) {
            std::cerr << "velmar-bench-gen: cannot create " << dir << ": " << ec.message() << "\n";
            return 1;
        }
        Bytes file;
        std::string title = "Title", artist = "Artist";
        const bool v2 = !(i % 25 == 11);  // a few files without an ID3v2 tag
        if (v2)
            file = MakeId3v2(rnd, i, title, artist);
        else
            ++withoutV2;
        if (v2 && i % 7 == 3) ++pictures;
        const int vbrKind = i % 20 == 5 ? 1 : i % 20 == 15 ? 2 : 0;
        xing += vbrKind == 1;
        info += vbrKind == 2;
        const int variedKb = rnd.Range(20, 200);  // drawn always, so that the tags do not depend on AUDIO_KB
        AppendStream(file, rnd, size_t(audioKb > 0 ? audioKb : variedKb) * 1024, vbrKind);
        if (rnd.Chance(30)) {
            const Bytes v1 = MakeId3v1(rnd, title, artist);
            file.insert(file.end(), v1.begin(), v1.end());
            ++withV1;
        }
        if (!WriteFile(dir / name, file)) {
            std::cerr << "velmar-bench-gen: cannot write " << (dir / name) << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        total += file.size();
    }
    std::printf(
        "wrote %d files (%.1f MB) to %s: %d with ID3v1, %d without ID3v2, %d with a picture, "
        "%d Xing VBR, %d Info CBR\n",
        count, double(total) / 1e6, folder.c_str(), withV1, withoutV2, pictures, xing, info);
    return 0;
}
