#pragma once
// What `velmar-cli info` prints of a loaded file: a readable block or one JSON line.
#include <string>
#include <vector>

#include "file/mp3object.h"

namespace velmar::cli {

// The record of a file; its messages in plain words. A file whose load failed
// (LoadFailure) gets the record of FailedJsonRecord.
std::string JsonRecord(TMP3Object& file, const std::string& path, const std::vector<std::string>& errors);
// The record of a file that could not be read: its path, why (the message `why`)
// as "error" and every message about it as "errors", in plain words (PlainMessage).
std::string FailedJsonRecord(const std::string& path, const std::string& why, const std::vector<std::string>& messages);
// The record of a file whose read ended in an exception: the last of its messages,
// "Error: " and the text, says why.
std::string UnreadJsonRecord(const std::string& path, const std::vector<std::string>& messages);
std::string TextRecord(TMP3Object& file, const std::string& path, const std::vector<std::string>& errors);

// Text of a frame's text field as shown: without the zero characters that end it.
std::string ShownText(std::string_view text);

// A name or tag text as it may be printed as text: control characters (C0, DEL and
// U+0080..U+009F), bytes that are not UTF-8 and the backslash are shown escaped (as
// \n, \r, \t, \\, \x1b, \xff, \u009b), so that no name can break a line or send a
// terminal a command; every other character of valid UTF-8 stays as it is.
std::string Printable(std::string_view text);
// A text as a JSON string, quotes included.
std::string JsonQuoted(std::string_view text);

}  // namespace velmar::cli
