// Tag reading speed: Velmar's core against TagLib on the same folder of files.
//
// Both read every file's tags and stream facts and take the same fields out of
// them (title, artist, album, comment, genre, year, track, length, bitrate,
// sampling rate). The folder is listed once with ScanFolder. One untimed pass of
// both warms the page cache and compares what they read; then timed passes of
// the two alternate, and the median (and best) of the rounds is reported.
//
// usage: velmar-bench-tagread FOLDER [--rounds N] [--only velmar|taglib]
//   --only: time one reader alone, without the warm-up comparison (for profiling)
#include <taglib/audioproperties.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "file/filescan.h"
#include "file/mp3object.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What each reader takes out of a file.
struct TFacts {
    bool Ok = false;
    std::string Title, Artist, Album, Comment, Genre;
    int Year = 0, Track = 0;
    int64_t LengthMs = 0;
    int Bitrate = 0, SampleRate = 0;
};

int Number(const std::string& s) { return std::atoi(s.c_str()); }

TFacts ReadWithVelmar(const fs::path& path) {
    velmar::TNullSink sink;
    velmar::TMP3Object file(sink);
    TFacts f;
    f.Ok = file.LoadFile(path, false);
    if (!f.Ok) return f;
    const velmar::TID3v2Object& v2 = file.ID3v2();
    const velmar::TID3v1Object& v1 = file.ID3v1();
    // ID3v2 first, ID3v1 where the ID3v2 tag has no such frame (as TagLib does).
    auto text = [&](const velmar::TTxtFrame& frame, const std::string& v1Field) {
        if (frame.FrameHeader.Present) return frame.Text;
        return v1.Present ? velmar::Latin1ToUtf8(velmar::TID3v1Object::FieldText(v1Field)) : std::string();
    };
    f.Title = text(v2.TIT2, v1.Title);
    f.Artist = text(v2.TPE1, v1.Artist);
    f.Album = text(v2.TALB, v1.Album);
    // The comment without a description, else the first one (as TagLib chooses).
    if (!v2.COMM.empty()) {
        const auto plain = std::find_if(v2.COMM.begin(), v2.COMM.end(),
                                        [](const velmar::TCOMMFrame& c) { return c.Description.empty(); });
        f.Comment = (plain != v2.COMM.end() ? *plain : v2.COMM.front()).Text;
    } else if (v1.Present) {
        f.Comment = velmar::Latin1ToUtf8(velmar::TID3v1Object::FieldText(v1.Comment));
    }
    if (v2.TCON.FrameHeader.Present)
        f.Genre = v2.TCON.Genre1Name.empty() ? v2.TCON.Text : v2.TCON.Genre1Name;
    else if (v1.Present)
        f.Genre = v1.GenreName;
    f.Year = v2.TYER.FrameHeader.Present ? v2.TYER.Value : v1.Present ? Number(v1.Year) : 0;
    f.Track = v2.TRCK.FrameHeader.Present ? v2.TRCK.Number : v1.Present ? v1.TrackNumber : 0;
    f.LengthMs = std::llround(file.PlaySeconds * 1000);
    f.Bitrate = Number(file.Bitrate);
    f.SampleRate = Number(file.Frequency);
    return f;
}

TFacts ReadWithTagLib(const fs::path& path) {
    TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Average);
    TFacts f;
    f.Ok = file.isValid();
    if (!f.Ok) return f;
    if (const TagLib::Tag* tag = file.tag()) {
        f.Title = tag->title().to8Bit(true);
        f.Artist = tag->artist().to8Bit(true);
        f.Album = tag->album().to8Bit(true);
        f.Comment = tag->comment().to8Bit(true);
        f.Genre = tag->genre().to8Bit(true);
        f.Year = int(tag->year());
        f.Track = int(tag->track());
    }
    if (const TagLib::AudioProperties* p = file.audioProperties()) {
        f.LengthMs = p->lengthInMilliseconds();
        f.Bitrate = p->bitrate();
        f.SampleRate = p->sampleRate();
    }
    return f;
}

// Something of every file's facts, so that no reading can be left out.
uint64_t Digest(const TFacts& f) {
    return f.Title.size() + f.Artist.size() * 3 + f.Album.size() * 5 + f.Comment.size() * 7 + f.Genre.size() * 11 +
           uint64_t(f.Year) + uint64_t(f.Track) + uint64_t(f.LengthMs) + uint64_t(f.Bitrate) + uint64_t(f.SampleRate) +
           (f.Ok ? 1 : 0);
}

struct TPass {
    double Seconds = 0;
    uint64_t Digest = 0;
    size_t Failed = 0;
};

TPass TimedPass(const std::vector<fs::path>& files, TFacts (*read)(const fs::path&)) {
    TPass pass;
    const auto start = Clock::now();
    for (const fs::path& p : files) {
        const TFacts f = read(p);
        pass.Digest += Digest(f);
        pass.Failed += f.Ok ? 0 : 1;
    }
    pass.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return pass;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmar-bench-tagread FOLDER [--rounds N]\n");
        return 2;
    }
    const fs::path folder = argv[1];
    int rounds = 3;
    std::string only;
    for (int i = 2; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rounds")
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--only")
            only = argv[++i];
    }

    const auto scanStart = Clock::now();
    const std::vector<fs::path> files = velmar::ScanFolder(folder);
    const double scanSeconds = std::chrono::duration<double>(Clock::now() - scanStart).count();
    if (files.empty()) {
        std::fprintf(stderr, "velmar-bench-tagread: no audio files in %s\n", folder.c_str());
        return 1;
    }
    uint64_t bytes = 0;
    for (const fs::path& p : files) bytes += fs::file_size(p);
    std::printf("files: %zu (%.1f MB), listed by ScanFolder in %.3f s\n", files.size(), double(bytes) / 1e6,
                scanSeconds);

    if (!only.empty()) {
        const bool velmar = only == "velmar";
        if (!velmar && only != "taglib") {
            std::fprintf(stderr, "velmar-bench-tagread: --only takes velmar or taglib\n");
            return 2;
        }
        for (int r = 0; r < rounds; ++r) {
            const TPass p = TimedPass(files, velmar ? ReadWithVelmar : ReadWithTagLib);
            std::printf("round %d: %s %.0f files/s (%.3f s), checksum %llu\n", r + 1, only.c_str(),
                        double(files.size()) / p.Seconds, p.Seconds, static_cast<unsigned long long>(p.Digest));
        }
        return 0;
    }

    // Warm-up: read everything once with both, and see where they disagree.
    struct TField {
        TField(const char* name, std::function<std::string(const TFacts&)> value,
               std::function<bool(const TFacts&, const TFacts&)> differ)
            : Name(name), Value(std::move(value)), Differ(std::move(differ)) {}
        const char* Name;
        std::function<std::string(const TFacts&)> Value;
        std::function<bool(const TFacts&, const TFacts&)> Differ;
        size_t Count = 0;
        std::string First;
    };
    auto same = [](auto get) { return [get](const TFacts& a, const TFacts& b) { return get(a) != get(b); }; };
    std::vector<TField> fields = {
        {"title", [](const TFacts& f) { return f.Title; }, same([](const TFacts& f) { return f.Title; })},
        {"artist", [](const TFacts& f) { return f.Artist; }, same([](const TFacts& f) { return f.Artist; })},
        {"album", [](const TFacts& f) { return f.Album; }, same([](const TFacts& f) { return f.Album; })},
        {"comment", [](const TFacts& f) { return f.Comment; }, same([](const TFacts& f) { return f.Comment; })},
        {"genre", [](const TFacts& f) { return f.Genre; }, same([](const TFacts& f) { return f.Genre; })},
        {"year", [](const TFacts& f) { return std::to_string(f.Year); }, same([](const TFacts& f) { return f.Year; })},
        {"track", [](const TFacts& f) { return std::to_string(f.Track); },
         same([](const TFacts& f) { return f.Track; })},
        // Lengths are worked out differently (frame count or stream bytes): more than half a second apart counts.
        {"length", [](const TFacts& f) { return std::to_string(f.LengthMs) + " ms"; },
         [](const TFacts& a, const TFacts& b) { return std::llabs(a.LengthMs - b.LengthMs) > 500; }},
        // An average bitrate may be rounded either way.
        {"bitrate", [](const TFacts& f) { return std::to_string(f.Bitrate); },
         [](const TFacts& a, const TFacts& b) { return std::abs(a.Bitrate - b.Bitrate) > 1; }},
        {"sampling rate", [](const TFacts& f) { return std::to_string(f.SampleRate); },
         same([](const TFacts& f) { return f.SampleRate; })},
    };
    size_t velmarFailed = 0, taglibFailed = 0;
    for (const fs::path& p : files) {
        const TFacts v = ReadWithVelmar(p);
        const TFacts t = ReadWithTagLib(p);
        velmarFailed += !v.Ok;
        taglibFailed += !t.Ok;
        if (!v.Ok || !t.Ok) continue;
        for (TField& field : fields) {
            if (!field.Differ(v, t)) continue;
            if (field.Count++ == 0)
                field.First = p.string() + ": velmar \"" + field.Value(v) + "\", TagLib \"" + field.Value(t) + "\"";
        }
    }
    std::printf("warm-up: failed to read: velmar %zu, TagLib %zu\n", velmarFailed, taglibFailed);
    for (const TField& field : fields)
        if (field.Count)
            std::printf("  %s differs in %zu files, first %s\n", field.Name, field.Count, field.First.c_str());

    std::vector<double> velmarRates, taglibRates;
    uint64_t sink = 0;
    for (int r = 0; r < rounds; ++r) {
        // Alternate which goes first so that neither always follows the other.
        TPass v, t;
        if (r % 2 == 0) {
            v = TimedPass(files, ReadWithVelmar);
            t = TimedPass(files, ReadWithTagLib);
        } else {
            t = TimedPass(files, ReadWithTagLib);
            v = TimedPass(files, ReadWithVelmar);
        }
        sink += v.Digest + t.Digest;
        velmarRates.push_back(double(files.size()) / v.Seconds);
        taglibRates.push_back(double(files.size()) / t.Seconds);
        std::printf("round %d: velmar %.0f files/s (%.3f s), TagLib %.0f files/s (%.3f s)\n", r + 1, velmarRates.back(),
                    v.Seconds, taglibRates.back(), t.Seconds);
    }
    const double velmar = Median(velmarRates), taglib = Median(taglibRates);
    std::printf("velmar_files_per_s=%.0f (median of %d, best %.0f)\n", velmar, rounds,
                *std::max_element(velmarRates.begin(), velmarRates.end()));
    std::printf("taglib_files_per_s=%.0f (median of %d, best %.0f)\n", taglib, rounds,
                *std::max_element(taglibRates.begin(), taglibRates.end()));
    std::printf("ratio=%.2f (velmar / TagLib, goal >= 2)\n", velmar / taglib);
    std::printf("checksum %llu (of what both read; keeps the reads from being left out)\n",
                static_cast<unsigned long long>(sink));
    return 0;
}
