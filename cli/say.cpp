#include "say.h"

#include <iostream>

#include "report.h"

namespace velmar::cli {

namespace {

// The words of the core's messages that name the program's parts, not what happened.
constexpr std::string_view kPartNames[] = {"MP3Object Unknown Exception: ", "Error MP3Object::SaveFile. Message: ",
                                           "MP3Object::Error ", "MP3Object::"};

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

}  // namespace

std::string PlainMessage(std::string_view file, std::string_view text) {
    std::string plain(text);
    for (std::string_view part : kPartNames)
        if (plain.starts_with(part)) plain.erase(0, part.size());
    if (!file.empty()) {
        const std::string quoted = "\"" + std::string(file) + "\"";
        ReplaceAll(plain, "Cannot open file " + quoted, "cannot open the file");
        ReplaceAll(plain, "the file " + quoted, "the file");
        ReplaceAll(plain, "The file " + quoted, "the file");
        ReplaceAll(plain, quoted, "the file");
    }
    return plain;
}

void Say(std::string_view file, std::string_view text) {
    const std::string plain = PlainMessage(file, text);
    std::cerr << "velmar-cli: " << (file.empty() ? Printable(plain) : Printable(file) + ": " + Printable(plain))
              << "\n";
}

}  // namespace velmar::cli
