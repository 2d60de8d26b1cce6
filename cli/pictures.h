#pragma once
// `velmar-cli pictures`: the pictures of a file's ID3v2 tag, listed or written out.
#include <string>
#include <vector>

namespace velmar::cli {

// The standard name of an ID3v2 picture type (0-20); "Other" for another number.
const std::string& PictureTypeName(unsigned type);
// The file extension for a picture's MIME type: jpg, png, gif, bmp, ico, else bin.
std::string PictureExtension(const std::string& mimeType);

// Returns the exit status: 0 done, 1 the file or a picture could not be read or written, 2 a usage error.
int Pictures(const std::vector<std::string>& args);

}  // namespace velmar::cli
