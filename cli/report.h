#pragma once
// What `velmar-cli info` prints of a loaded file: a readable block or one JSON line.
#include <string>
#include <vector>

#include "file/mp3object.h"

namespace velmar::cli {

std::string JsonRecord(TMP3Object& file, const std::string& path, const std::vector<std::string>& errors);
std::string TextRecord(TMP3Object& file, const std::string& path, const std::vector<std::string>& errors);

// Text of a frame's text field as shown: without the zero characters that end it.
std::string ShownText(std::string_view text);

}  // namespace velmar::cli
