// libFuzzer harness: the stream checker over a file written from the input.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "file/mpegchecker.h"

namespace {

std::filesystem::path InputFile() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("velmar-fuzz-checker-" + std::to_string(::getpid()) + ".mp3");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(InputFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    static velmar::TMPEGChecker checker;
    const velmar::TCheckResult r = checker.CheckFile(InputFile());
    // The walk stays within the file and within the audio it was given.
    if (r.FileSize != int64_t(size) || r.Lines.size() < 7) std::abort();
    if (r.AudioStart < 0 || r.AudioStart > r.AudioEnd || r.AudioEnd > r.FileSize) std::abort();
    if (r.Outcome != velmar::TCheckOutcome::Ok && (r.Offset < r.AudioStart || r.Offset > r.AudioEnd)) std::abort();
    // The damaged stretches lie within the audio, in order, none inside another.
    if (r.ProblemCount < int64_t(r.Problems.size())) std::abort();
    int64_t end = r.AudioStart;
    for (const velmar::TCheckProblem& p : r.Problems) {
        if (p.Bytes <= 0 || p.Offset < end || p.Offset + p.Bytes > r.AudioEnd) std::abort();
        end = p.Offset + p.Bytes;
    }
    return 0;
}
