// libFuzzer harness: the audio file object loads a file written from the input
// (tags, stream facts and audio), saves it with every tag, and loads the result.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "file/mp3object.h"

namespace {

namespace fs = std::filesystem;

fs::path WorkFolder() {
    static const fs::path folder = [] {
        const fs::path f = fs::temp_directory_path() / ("velmar-fuzz-tagreader-" + std::to_string(::getpid()));
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path file = WorkFolder() / "input.mp3";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    velmar::TNullSink sink;
    {
        velmar::TMP3Object info(sink);
        info.LoadFile(file, false);
    }
    velmar::TMP3Object mp3(sink);
    if (!mp3.LoadFile(file, true)) return 0;
    if (mp3.DataStart < 0 || mp3.DataStart > mp3.AudioEnd || mp3.AudioEnd > mp3.FileSize ||
        int64_t(mp3.AudioData.size()) != mp3.AudioEnd - mp3.DataStart)
        std::abort();
    const velmar::TBytes audio = mp3.AudioData;
    if (!mp3.SaveFile(file, true, true, true)) return 0;
    if (fs::file_size(file) != uint64_t(mp3.FileSize)) std::abort();
    velmar::TMP3Object reloaded(sink);
    reloaded.LoadFile(file, true);
    return 0;
}
