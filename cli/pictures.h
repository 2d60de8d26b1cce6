#pragma once
// `velmar-cli pictures`: the pictures of a file's ID3v2 tag, listed or written out.
#include <string>
#include <vector>

#include "args.h"

namespace velmar::cli {

// The standard name of an ID3v2 picture type (0-20); "Other" for another number.
const std::string& PictureTypeName(unsigned type);
// The file extension for a picture's MIME type: jpg, png, gif, bmp, ico, else bin.
std::string PictureExtension(const std::string& mimeType);

// Exits 0 when done, 1 when the file or a picture could not be read or written, 2 on a usage error.
extern const TCommand kPictures;

}  // namespace velmar::cli
