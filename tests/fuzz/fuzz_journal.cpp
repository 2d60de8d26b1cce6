// libFuzzer harness: the journal of a cut-short save, read and carried out on a
// real file. The input is the journal after its file's name, device and inode and
// the journal's own; the harness fills those in, recomputes the audio fingerprint
// for the regions the input names and the checksum at the end, so that mutated
// inputs reach the checks and the writes behind them instead of stopping at the
// checksum.
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file/inplace.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr int64_t kFileSize = 4096, kSpan = 64 * 1024;

const fs::path& Folder() {
    static const fs::path folder = [] {
        const fs::path f = fs::temp_directory_path() / ("velmar-fuzz-journal-" + std::to_string(::getpid()));
        fs::create_directories(f);
        ::setenv("XDG_STATE_HOME", (f / "state").c_str(), 1);
        return f;
    }();
    return folder;
}

void Put64(Bytes& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
uint64_t Get64(const Bytes& in, size_t at) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(in[at + size_t(i)]) << (8 * i);
    return v;
}
void Set64(Bytes& out, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

uint32_t Crc(const Bytes& b, int64_t from, int64_t to, uLong crc) {
    return uint32_t(crc32(crc, b.data() + from, uInt(to - from)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path file = Folder() / "song.mp3";
    Bytes original(kFileSize);
    for (size_t i = 0; i < original.size(); ++i) original[i] = uint8_t(i * 7);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(original.data()), std::streamsize(original.size()));
    }
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return 0;

    // The journal file is made first, so that it can name itself.
    const fs::path place = velmar::JournalBeside(file);
    std::ofstream(place, std::ios::binary | std::ios::trunc).close();
    struct stat own {};
    if (::stat(place.c_str(), &own) != 0) return 0;
    // Magic, an empty name, the file's device and inode, the journal's own, then the input.
    Bytes journal = {'V', 'E', 'L', 'M', 'A', 'R', 'J', '3'};
    Put64(journal, 0);
    Put64(journal, st.st_dev);
    Put64(journal, st.st_ino);
    Put64(journal, own.st_dev);
    Put64(journal, own.st_ino);
    const size_t fields = journal.size();
    journal.insert(journal.end(), data, data + size);
    // The fingerprint of the audio between the head and the tail the input names.
    if (size >= 7 * 8) {
        const int64_t tailAt = int64_t(Get64(journal, fields + 16)), head = int64_t(Get64(journal, fields + 24));
        if (head >= 0 && head <= tailAt && tailAt <= kFileSize) {
            const int64_t firstEnd = std::min(tailAt, head + kSpan), lastFrom = std::max(firstEnd, tailAt - kSpan);
            const uint32_t audio = Crc(original, lastFrom, tailAt, Crc(original, head, firstEnd, crc32(0, nullptr, 0)));
            Set64(journal, fields + 48, audio);
        }
    }
    Put64(journal, uint32_t(crc32(0, journal.data(), uInt(journal.size()))));

    const bool whole = velmar::IsWholeJournal(journal);
    {
        std::ofstream out(place, std::ios::binary | std::ios::trunc);  // the same file: its inode stays
        out.write(reinterpret_cast<const char*>(journal.data()), std::streamsize(journal.size()));
    }
    velmar::TRecovery result = velmar::TRecovery::Nothing;
    try {
        result = velmar::RecoverInterruptedSave(file);
    } catch (const velmar::EInPlace&) {
    }
    // A journal that does not parse never touches the file; one that does leaves it
    // no larger than the journal says it was.
    std::error_code ec;
    const auto now = fs::file_size(file, ec);
    if (!whole && (result == velmar::TRecovery::RestoredOld || now != uintmax_t(kFileSize))) std::abort();
    fs::remove(velmar::JournalBeside(file), ec);
    for (const auto& e : fs::directory_iterator(Folder(), ec))
        if (e.path().filename().string().ends_with(".velmar-aside")) fs::remove(e.path(), ec);
    return 0;
}
