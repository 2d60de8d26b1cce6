// Reads a folder the way a tag tool built on TagLib does, as the peer of
// `velmar-cli info` in the I/O benchmark: walks FOLDER, and for every .mp3 file
// opens a TagLib::FileRef with its audio properties (average accuracy) and takes
// the title, artist, album, length and bitrate. One process, one thread.
//
// usage: velmar-bench-taglib-read FOLDER
// prints: files=N unreadable=N checksum=N (the checksum keeps the reads from being left out)
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

bool IsMp3Name(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
    return ext == ".mp3";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmar-bench-taglib-read FOLDER\n");
        return 2;
    }
    uint64_t files = 0, unreadable = 0, checksum = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(argv[1], ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || !IsMp3Name(it->path())) continue;
        ++files;
        const TagLib::FileRef file(it->path().c_str(), true, TagLib::AudioProperties::Average);
        if (file.isNull()) {
            ++unreadable;
            continue;
        }
        if (const TagLib::Tag* tag = file.tag())
            checksum += tag->title().to8Bit(true).size() + tag->artist().to8Bit(true).size() * 3 +
                        tag->album().to8Bit(true).size() * 5;
        if (const TagLib::AudioProperties* p = file.audioProperties())
            checksum += uint64_t(p->lengthInMilliseconds()) + uint64_t(p->bitrate());
    }
    if (ec) {
        std::fprintf(stderr, "velmar-bench-taglib-read: %s: %s\n", argv[1], ec.message().c_str());
        return 1;
    }
    std::printf("files=%llu unreadable=%llu checksum=%llu\n", static_cast<unsigned long long>(files),
                static_cast<unsigned long long>(unreadable), static_cast<unsigned long long>(checksum));
    return 0;
}
