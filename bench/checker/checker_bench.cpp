// Stream checker benchmark and comparison with mp3val.
//
//   velmar-bench-checker prepare BASES FOLDER [MB]
//                                              makes streams with lame in BASES, then
//                                              files of 5-10 MB in FOLDER up to MB megabytes
//   velmar-bench-checker speed FOLDER [ROUNDS] MB/s of the checker, of reading the
//                                              files once, and of mp3val (warm cache)
//   velmar-bench-checker verdicts BASES CASES [FOLDER...]
//                                              makes intact and damaged files in CASES
//                                              from the streams in BASES and compares
//                                              the checker's verdicts with mp3val's;
//                                              then on the audio files of the FOLDERs
//   velmar-bench-checker spots BASES CASES     makes files with one to three damaged
//                                              places at known offsets and counts the
//                                              places the checker and mp3val find
//
// Everything made is deterministic (fixed seeds, the same lame input).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "file/filescan.h"
#include "file/mpegchecker.h"
#include "mpeg/mpegframe.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// The streams the files are made of: lame settings by name.
const std::vector<std::pair<std::string, std::string>> kModes = {
    {"cbr128", "-b 128"},   {"vbr", "-V 2"}, {"mpeg2", "--resample 22.05 -b 64"}, {"mpeg25", "--resample 11.025 -b 32"},
    {"mono", "-m m -b 96"},
};

void Append(Bytes& out, const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); }
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteAll(const fs::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", p.c_str());
        std::exit(1);
    }
}

void LittleEndian(Bytes& out, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void BigEndian32(Bytes& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

// Thirty seconds of a 44.1 kHz stereo signal that sweeps and wobbles, so that
// lame's VBR mode uses many bit rates.
Bytes MakeWav() {
    const int rate = 44100, seconds = 30;
    std::mt19937 random(1);
    Bytes pcm;
    pcm.reserve(size_t(rate) * seconds * 4);
    for (int i = 0; i < rate * seconds; ++i) {
        const double t = double(i) / rate;
        const double tone = std::sin(2 * M_PI * (200 + 40 * t) * t) * (0.5 + 0.5 * std::sin(t * 1.3));
        const double noise = (int(random() % 2001) - 1000) / 1000.0 * (std::fmod(t, 5.0) < 1 ? 0.4 : 0.05);
        for (int ch = 0; ch < 2; ++ch) {
            const auto v = int16_t(std::lround(9000 * tone + 6000 * noise * (ch ? -1 : 1)));
            LittleEndian(pcm, uint16_t(v), 2);
        }
    }
    Bytes wav = Text("RIFF");
    LittleEndian(wav, uint32_t(36 + pcm.size()), 4);
    Append(wav, Text("WAVEfmt "));
    LittleEndian(wav, 16, 4);
    LittleEndian(wav, 1, 2);
    LittleEndian(wav, 2, 2);
    LittleEndian(wav, rate, 4);
    LittleEndian(wav, rate * 4, 4);
    LittleEndian(wav, 4, 2);
    LittleEndian(wav, 16, 2);
    Append(wav, Text("data"));
    LittleEndian(wav, uint32_t(pcm.size()), 4);
    Append(wav, pcm);
    return wav;
}

void MakeBases(const fs::path& bases) {
    fs::create_directories(bases);
    const fs::path wav = bases / "signal.wav";
    WriteAll(wav, MakeWav());
    for (const auto& [name, options] : kModes) {
        const std::string command =
            "lame --quiet " + options + " '" + wav.string() + "' '" + (bases / (name + ".mp3")).string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
            std::exit(1);
        }
    }
    fs::remove(wav);
}

Bytes Id3v2Frame(const std::string& id, const Bytes& body) {
    Bytes f = Text(id);
    BigEndian32(f, uint32_t(body.size()));
    f.insert(f.end(), {0, 0});
    Append(f, body);
    return f;
}

// An ID3v2.3 tag with a title, an artist, a picture of `picture` bytes and padding.
Bytes Id3v2Tag(int number, size_t picture, std::mt19937& random) {
    Bytes frames = Id3v2Frame("TIT2", Text(std::string(1, '\0') + "Track " + std::to_string(number)));
    Append(frames, Id3v2Frame("TPE1", Text(std::string(1, '\0') + "Benchmark")));
    if (picture > 0) {
        Bytes body = Text(std::string(1, '\0') + "image/jpeg");
        body.insert(body.end(), {0, 3, 0});
        for (size_t i = 0; i < picture; ++i) body.push_back(uint8_t(random()));
        Append(frames, Id3v2Frame("APIC", body));
    }
    const size_t size = frames.size() + 1024;
    Bytes tag = {'I',
                 'D',
                 '3',
                 3,
                 0,
                 0,
                 uint8_t(size >> 21 & 0x7F),
                 uint8_t(size >> 14 & 0x7F),
                 uint8_t(size >> 7 & 0x7F),
                 uint8_t(size & 0x7F)};
    Append(tag, frames);
    tag.resize(10 + size, 0);
    return tag;
}

Bytes Id3v1Tag(const std::string& title) {
    Bytes t(128, 0);
    std::memcpy(t.data(), "TAG", 3);
    std::memcpy(t.data() + 3, title.data(), std::min<size_t>(30, title.size()));
    t[127] = 12;
    return t;
}

Bytes ApeTag() {
    Bytes item;
    LittleEndian(item, 5, 4);
    LittleEndian(item, 0, 4);
    Append(item, Text("Title"));
    item.push_back(0);
    Append(item, Text("Hello"));
    auto block = [&](bool header) {
        Bytes b = Text("APETAGEX");
        LittleEndian(b, 2000, 4);
        LittleEndian(b, uint32_t(item.size() + 32), 4);
        LittleEndian(b, 1, 4);
        LittleEndian(b, 0x80000000u | (header ? 0x20000000u : 0), 4);
        b.resize(32, 0);
        return b;
    };
    Bytes tag = block(true);
    Append(tag, item);
    Append(tag, block(false));
    return tag;
}

// An ID3v2.4 tag with its "3DI" footer, as some players append at the end.
Bytes AppendedId3v24() {
    const Bytes frame = Id3v2Frame("TIT2", Text(std::string(1, '\3') + "Appended"));
    const size_t size = frame.size();
    Bytes tag = {'I', 'D', '3', 4, 0, 0x10, 0, 0, uint8_t(size >> 7 & 0x7F), uint8_t(size & 0x7F)};
    Append(tag, frame);
    Bytes footer(tag.begin(), tag.begin() + 10);
    std::memcpy(footer.data(), "3DI", 3);
    Append(tag, footer);
    return tag;
}

Bytes Lyrics3Tag() {
    const std::string fields = "LYRICSBEGININD0000210ETT00005Hello";
    char size[7];
    std::snprintf(size, sizeof size, "%06zu", fields.size());
    return Text(fields + size + "LYRICS200");
}

// Where the Xing or Info header of the frame at the start of `s` is, or 0 when it has none.
size_t VbrHeaderAt(const Bytes& s) {
    for (size_t at = 4; at + 16 <= std::min<size_t>(s.size(), 64); ++at)
        if (std::memcmp(s.data() + at, "Xing", 4) == 0 || std::memcmp(s.data() + at, "Info", 4) == 0) return at;
    return 0;
}

// Copies of a lame stream joined into one intact stream: the first copy keeps the
// frame that carries its VBR header, which then counts the frames and bytes of the
// whole (as lame counts them: frames without its own, bytes with it); the other
// copies leave theirs out.
Bytes JoinedStream(const Bytes& stream, size_t target) {
    const size_t vbr = VbrHeaderAt(stream);
    const size_t first = vbr ? size_t(velmar::FrameLength(stream.data())) : 0;
    Bytes audio = stream;
    while (audio.size() < target) audio.insert(audio.end(), stream.begin() + long(first), stream.end());
    if (vbr) {
        uint32_t frames = 0;
        for (size_t pos = 0; pos + 4 <= audio.size(); ++frames) pos += size_t(velmar::FrameLength(audio.data() + pos));
        const uint32_t flags = uint32_t(audio[vbr + 7]);
        size_t at = vbr + 8;
        for (const uint32_t value : {frames - 1, uint32_t(audio.size())}) {
            if (!(flags & (value == frames - 1 ? 1u : 2u))) continue;
            for (int i = 0; i < 4; ++i) audio[at + size_t(i)] = uint8_t(value >> (24 - 8 * i));
            at += 4;
        }
    }
    return audio;
}

int Prepare(const fs::path& bases, const fs::path& folder, double megabytes) {
    MakeBases(bases);
    fs::create_directories(folder);
    std::vector<Bytes> streams;
    for (const auto& mode : kModes) streams.push_back(ReadAll(bases / (mode.first + ".mp3")));
    std::mt19937 random(20240611);
    double total = 0;
    for (int i = 0; total < megabytes * 1e6; ++i) {
        const Bytes& stream = streams[size_t(i) % streams.size()];
        const size_t target = 5000000 + random() % 5000000;
        Bytes file = Id3v2Tag(i, (i % 3 == 0) ? 20000 + random() % 40000 : 0, random);
        Append(file, JoinedStream(stream, target - std::min(target, file.size())));
        if (i % 2 == 0) Append(file, Id3v1Tag("Track " + std::to_string(i)));
        char name[32];
        std::snprintf(name, sizeof name, "%04d.mp3", i);
        WriteAll(folder / name, file);
        total += double(file.size());
    }
    std::printf("made %.0f MB in %s\n", total / 1e6, folder.c_str());
    return 0;
}

// Reads every file once into a buffer, as `cat` would: the bound for cached files.
int64_t ReadOnce(const std::vector<fs::path>& files, Bytes& buffer) {
    int64_t total = 0;
    for (const fs::path& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) total += n;
        ::close(fd);
    }
    return total;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Runs a program over the files with its output thrown away; its wall time.
double RunQuiet(const std::string& program, const std::vector<fs::path>& files) {
    std::vector<std::string> args = {program};
    for (const fs::path& f : files) args.push_back(f.string());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        std::fprintf(stderr, "%s did not run\n", program.c_str());
        return -1;
    }
    return Seconds(start);
}

int Speed(const fs::path& folder, int rounds) {
    const std::vector<fs::path> files = velmar::ScanFolder(folder);
    if (files.empty()) {
        std::fprintf(stderr, "no files in %s\n", folder.c_str());
        return 1;
    }
    Bytes buffer(1024 * 1024);
    const double mb = double(ReadOnce(files, buffer)) / 1e6;  // also warms the cache
    ReadOnce(files, buffer);
    std::printf("files=%zu size_mb=%.0f rounds=%d (MB = 10^6 bytes, best round)\n", files.size(), mb, rounds);

    double readBest = 1e9, checkBest = 1e9;
    size_t errors = 0;
    velmar::TMPEGChecker checker;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        ReadOnce(files, buffer);
        readBest = std::min(readBest, Seconds(start));
        start = Clock::now();
        errors = 0;
        for (const fs::path& f : files) errors += checker.CheckFile(f).IsError() ? 1 : 0;
        checkBest = std::min(checkBest, Seconds(start));
    }
    const double mp3val = RunQuiet("mp3val", files);
    std::printf("read_once_mb_per_s=%.0f\n", mb / readBest);
    std::printf("checker_mb_per_s=%.0f (files with errors: %zu)\n", mb / checkBest, errors);
    if (mp3val > 0) std::printf("mp3val_mb_per_s=%.0f\n", mb / mp3val);
    std::printf("checker_vs_read_once=%.2f (goal >= 0.5)\n", readBest / checkBest);
    if (mp3val > 0) std::printf("checker_vs_mp3val=%.1f (goal > 1)\n", mp3val / checkBest);
    return errors == 0 ? 0 : 1;
}

// mp3val's verdict: a file is damaged when it reports an error, a problem at an
// offset of the stream, or no frames at all. Missing tags, few frames and a VBR
// header whose counts disagree are not damage of the stream.
bool Mp3valDamaged(const fs::path& file, std::string& why) {
    const std::string command = "mp3val '" + file.string() + "' 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    bool damaged = false;
    char line[1024];
    while (p && std::fgets(line, sizeof line, p)) {
        const std::string l = line;
        if (l.starts_with("ERROR") || (l.starts_with("WARNING") && l.find("(offset") != std::string::npos)) {
            damaged = true;
            why = l.substr(l.find(": ", l.find('"', l.find('"') + 1)) + 2);
            why.erase(why.find_last_not_of("\r\n") + 1);
        } else if (l.find("No MPEG frames") != std::string::npos) {
            damaged = true;
            why = "No MPEG frames";
        }
    }
    if (p) ::pclose(p);
    return damaged;
}

// What the checker found first: its first problem, or the verdict of a file without.
std::string Finding(const velmar::TCheckResult& r) {
    return r.Problems.empty() ? r.Lines[1] : velmar::ProblemText(r.Problems.front());
}

// Verdicts on files of unknown state: how often the two agree.
void CompareOn(const std::vector<fs::path>& folders) {
    velmar::TMPEGChecker checker;
    int files = 0, agree = 0;
    for (const fs::path& folder : folders)
        for (const fs::path& file : velmar::ScanFolder(folder)) {
            const velmar::TCheckResult r = checker.CheckFile(file);
            std::string why;
            const bool theirs = Mp3valDamaged(file, why);
            ++files;
            agree += r.IsError() == theirs;
            std::printf("%-40s %-36s %s\n", file.filename().c_str(),
                        r.IsError() ? ("damaged: " + Finding(r)).c_str() : "intact",
                        theirs ? ("damaged: " + why).c_str() : "intact");
        }
    std::printf("files=%d agreement=%d\n", files, agree);
}

int Verdicts(const fs::path& bases, const fs::path& cases) {
    fs::create_directories(cases);
    std::mt19937 random(99);
    struct TCase {
        std::string Name;
        bool Damaged;
        Bytes Data;
    };
    std::vector<TCase> all;
    Bytes noise(200000);
    for (auto& b : noise) b = uint8_t(random());
    all.push_back({"random-bytes", true, noise});
    all.push_back({"empty", true, {}});
    all.push_back({"id3v2-tag-only", true, Id3v2Tag(3, 1000, random)});
    for (const auto& mode : kModes) {
        const Bytes s = ReadAll(bases / (mode.first + ".mp3"));
        const size_t mid = s.size() / 2;
        // A frame start near the middle: the walk of the intact stream passes it.
        size_t frame = 0;
        for (size_t pos = 0; pos + 4 <= s.size();) {
            const int len = velmar::FrameLength(s.data() + pos);
            if (len <= 0) break;
            if (pos >= mid) {
                frame = pos;
                break;
            }
            pos += size_t(len);
        }
        const Bytes head(s.begin(), s.begin() + long(frame)), tail(s.begin() + long(frame), s.end());
        auto join = [](std::initializer_list<Bytes> parts) {
            Bytes out;
            for (const Bytes& p : parts) Append(out, p);
            return out;
        };
        Bytes junk(300);
        for (auto& b : junk) b = uint8_t(random() % 0xF0);
        const std::string m = mode.first + "-";
        all.push_back({m + "intact", false, s});
        all.push_back({m + "id3v2-id3v1", false, join({Id3v2Tag(1, 5000, random), s, Id3v1Tag("T")})});
        all.push_back({m + "ape-id3v1", false, join({s, ApeTag(), Id3v1Tag("T")})});
        all.push_back({m + "lyrics3-id3v1", false, join({s, Lyrics3Tag(), Id3v1Tag("T")})});
        all.push_back({m + "ape-appended-id3v2", false, join({s, ApeTag(), AppendedId3v24()})});
        all.push_back({m + "one-byte-inserted", true, join({head, {0x42}, tail})});
        all.push_back({m + "300-bytes-inserted", true, join({head, junk, tail})});
        Bytes zeroed = s;
        std::fill(zeroed.begin() + long(frame) - 700, zeroed.begin() + long(frame) + 1300, 0);
        all.push_back({m + "zeroed-2000", true, zeroed});
        Bytes broken = s;
        broken[frame + 1] = 0x00;
        all.push_back({m + "broken-header", true, broken});
        all.push_back({m + "truncated", true, Bytes(s.begin(), s.end() - 100)});
        all.push_back({m + "junk-after-tag", true, join({Id3v2Tag(2, 0, random), {1, 2, 3, 4, 5}, s})});
        all.push_back({m + "junk-before-id3v1", true, join({s, junk, Id3v1Tag("T")})});
    }

    int agree = 0, rightVelmar = 0, rightMp3val = 0;
    velmar::TMPEGChecker checker;
    std::printf("%-32s %-8s %-26s %s\n", "case", "damaged", "velmar", "mp3val");
    for (const TCase& c : all) {
        const fs::path file = cases / (c.Name + ".mp3");
        WriteAll(file, c.Data);
        const velmar::TCheckResult r = checker.CheckFile(file);
        std::string why;
        const bool theirs = Mp3valDamaged(file, why);
        const bool ours = r.IsError();
        agree += ours == theirs;
        rightVelmar += ours == c.Damaged;
        rightMp3val += theirs == c.Damaged;
        std::printf("%-32s %-8s %-26s %s\n", c.Name.c_str(), c.Damaged ? "yes" : "no",
                    ((ours ? "damaged: " : "intact") + (ours ? Finding(r) : "")).c_str(),
                    theirs ? ("damaged: " + why).c_str() : "intact");
    }
    std::printf("cases=%zu agreement=%d velmar_right=%d mp3val_right=%d\n", all.size(), agree, rightVelmar,
                rightMp3val);
    return 0;
}

// The offsets mp3val reports problems at; a wrong frame or byte count of a VBR
// header, which it reports without one, counts as a problem at `vbrFrame`.
std::vector<int64_t> Mp3valPlaces(const fs::path& file, int64_t vbrFrame) {
    const std::string command = "mp3val '" + file.string() + "' 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    std::vector<int64_t> places;
    bool vbr = false;
    char line[1024];
    while (p && std::fgets(line, sizeof line, p)) {
        const std::string l = line;
        if (const size_t at = l.find("(offset 0x"); at != std::string::npos)
            places.push_back(std::strtoll(l.c_str() + at + 10, nullptr, 16));
        else if (l.find("specified in Xing header") != std::string::npos && !vbr)
            vbr = true, places.push_back(vbrFrame);
    }
    if (p) ::pclose(p);
    return places;
}

std::vector<Bytes> SplitFrames(const Bytes& s) {
    std::vector<Bytes> frames;
    for (size_t pos = 0; pos + 4 <= s.size();) {
        const size_t length = size_t(std::max(velmar::FrameLength(s.data() + pos), 1));
        frames.emplace_back(s.begin() + long(pos), s.begin() + long(std::min(s.size(), pos + length)));
        pos += length;
    }
    return frames;
}

// Files with one to three damaged places at known offsets: how many of the places
// the checker's list and mp3val's report each find (within the longest frame of
// the stream), and how many other places each reports.
int Spots(const fs::path& bases, const fs::path& cases) {
    fs::create_directories(cases);
    enum D { Garbage, Cut, Tag, Splice, VbrCount, LastCut, Zeroes };
    const char* const names[] = {"garbage", "cut", "id3v1", "splice", "vbr-count", "last-cut", "zeroes"};
    const std::vector<std::vector<D>> sets = {{Garbage},
                                              {Cut},
                                              {Tag},
                                              {Splice},
                                              {VbrCount},
                                              {LastCut},
                                              {Zeroes},
                                              {Garbage, Cut},
                                              {Tag, Splice, LastCut},
                                              {VbrCount, Garbage, Cut},
                                              {Zeroes, Tag, Garbage}};
    const size_t spliceFrom[] = {2, 2, 0, 2, 2};  // a stream of another sampling rate for each of kModes
    std::vector<std::vector<Bytes>> streams;
    for (const auto& mode : kModes) streams.push_back(SplitFrames(ReadAll(bases / (mode.first + ".mp3"))));
    std::mt19937 random(1);
    const Bytes head = Id3v2Tag(0, 0, random);
    velmar::TMPEGChecker checker;
    int places = 0, ours = 0, theirs = 0, oursExtra = 0, theirsExtra = 0, fewer = 0;
    std::printf("%-34s %6s %14s %14s\n", "case", "places", "velmar found", "mp3val found");
    for (size_t m = 0; m < streams.size(); ++m)
        for (const std::vector<D>& set : sets) {
            const std::vector<Bytes>& frames = streams[m];
            const size_t n = frames.size();
            std::vector<size_t> at;
            for (size_t d = 0, quarter = 1; d < set.size(); ++d)
                at.push_back(set[d] == VbrCount ? 0 : set[d] == LastCut ? n - 1 : n * quarter++ / 4);
            Bytes file = head;
            std::vector<int64_t> want;
            int64_t longest = 0;
            std::string name = kModes[m].first;
            for (const D d : set) name += std::string("-") + names[d];
            for (size_t f = 0; f < n; ++f) {
                Bytes frame = frames[f];
                longest = std::max(longest, int64_t(frame.size()));
                for (size_t k = 0; k < set.size(); ++k) {
                    if (at[k] != f) continue;
                    want.push_back(int64_t(file.size()));
                    if (set[k] == Garbage) Append(file, Bytes(123, 0x42));
                    if (set[k] == Tag) Append(file, Id3v1Tag("Inside"));
                    if (set[k] == Splice) Append(file, streams[spliceFrom[m]][10]);
                    if (set[k] == Cut || set[k] == LastCut) frame.resize(frame.size() * (set[k] == Cut ? 1 : 2) / 3);
                    if (set[k] == Zeroes) std::fill(frame.begin() + 4, frame.end(), 0), frame[1] = 0;
                    if (set[k] == VbrCount)
                        for (size_t p = 4; p + 12 <= frame.size(); ++p)
                            if (std::memcmp(&frame[p], "Xing", 4) == 0 || std::memcmp(&frame[p], "Info", 4) == 0)
                                frame[p + 11] ^= 0x55;
                }
                Append(file, frame);
            }
            const fs::path path = cases / (name + ".mp3");
            WriteAll(path, file);
            std::vector<int64_t> velmar;
            for (const velmar::TCheckProblem& p : checker.CheckFile(path).Problems) velmar.push_back(p.Offset);
            const std::vector<int64_t> mp3val = Mp3valPlaces(path, int64_t(head.size()));
            auto found = [&](const std::vector<int64_t>& reported, int& extra) {
                int hits = 0;
                for (int64_t w : want)
                    hits += std::any_of(reported.begin(), reported.end(),
                                        [&](int64_t r) { return std::abs(r - w) <= longest; });
                for (int64_t r : reported)
                    extra +=
                        std::none_of(want.begin(), want.end(), [&](int64_t w) { return std::abs(r - w) <= longest; });
                return hits;
            };
            const int a = found(velmar, oursExtra), b = found(mp3val, theirsExtra);
            places += int(want.size());
            ours += a;
            theirs += b;
            fewer += a < b;
            std::printf("%-34s %6zu %14d %14d\n", name.c_str(), want.size(), a, b);
        }
    std::printf(
        "places=%d velmar_found=%d mp3val_found=%d velmar_other=%d mp3val_other=%d files_velmar_found_fewer=%d\n",
        places, ours, theirs, oursExtra, theirsExtra, fewer);
    return fewer == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "prepare" && argc >= 4) return Prepare(argv[2], argv[3], argc > 4 ? std::atof(argv[4]) : 1100);
    if (mode == "speed" && argc >= 3) return Speed(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    if (mode == "spots" && argc >= 4) return Spots(argv[2], argv[3]);
    if (mode == "verdicts" && argc >= 4) {
        const int status = Verdicts(argv[2], argv[3]);
        if (argc > 4) CompareOn(std::vector<fs::path>(argv + 4, argv + argc));
        return status;
    }
    std::fprintf(stderr,
                 "usage: velmar-bench-checker prepare BASES FOLDER [MB]\n"
                 "       velmar-bench-checker speed FOLDER [ROUNDS]\n"
                 "       velmar-bench-checker verdicts BASES CASES [FOLDER...]\n"
                 "       velmar-bench-checker spots BASES CASES\n");
    return 2;
}
