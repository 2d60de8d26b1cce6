#pragma once
// How velmar-cli tells what happened: "velmar-cli: PATH: what happened" on standard
// error, in plain words.
#include <string>
#include <string_view>

#include "base/messages.h"

namespace velmar::cli {

// A message of the core as a shell user reads it: without the names of the parts of
// the program it came from ("MP3Object Unknown Exception: "), and with the file it is
// about, already named before it, called "the file".
std::string PlainMessage(std::string_view file, std::string_view text);

// Prints "velmar-cli: FILE: TEXT" ("velmar-cli: TEXT" without a file) on standard
// error: in plain words, control characters shown escaped.
void Say(std::string_view file, std::string_view text);

// Says every message about one file (or about none) at once.
class TSayingSink : public TMessageSink {
public:
    explicit TSayingSink(std::string file = {}) : File(std::move(file)) {}
    void Error(const std::string& text) override { Say(File, text); }

private:
    std::string File;
};

}  // namespace velmar::cli
