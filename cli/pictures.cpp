#include "pictures.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "file/mp3object.h"
#include "report.h"
#include "say.h"

namespace velmar::cli {

namespace fs = std::filesystem;

namespace {

const char* const kPicturesUsage =
    "usage: velmar-cli pictures FILE [-o DIR]\n"
    "  Lists the pictures of FILE's ID3v2 tag, one a line:\n"
    "    INDEX: TYPE TYPE-NAME, MIME, \"DESCRIPTION\", SIZE bytes\n"
    "  With -o, writes each picture's bytes to DIR/<FILE's stem>-<INDEX>.<ext> (ext\n"
    "  from the MIME type: jpg, png, gif, bmp, ico, else bin; DIR is made when it is\n"
    "  missing) and prints the paths written instead. A file that is already there is\n"
    "  reported and left as it is (exit status 1). A file without pictures prints\n"
    "  nothing.\n";


// Writes the bytes into a new file; never over one that is there. Returns an error text, else empty.
std::string WriteNew(const fs::path& target, const TBytes& data) {
    std::optional<TFileStream> out;
    try {
        out.emplace(target, TFileStream::CreateNew);
    } catch (const std::exception& e) {
        return fs::exists(fs::symlink_status(target)) ? "already exists, not written" : e.what();
    }
    try {
        StreamWriteBytes(*out, data);
        out->Close();
        return {};
    } catch (const std::exception& e) {
        out.reset();
        std::error_code ec;
        fs::remove(target, ec);  // no half picture is left behind
        return e.what();
    }
}

int WritePictures(const fs::path& file, const std::vector<const TAPICFrame*>& pictures, const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        std::cerr << "velmar-cli: " << Printable(dir.string()) << ": " << ec.message() << "\n";
        return 1;
    }
    int status = 0;
    const std::string stem = file.stem().string();
    for (size_t i = 0; i < pictures.size(); ++i) {
        const fs::path target =
            dir / (stem + "-" + std::to_string(i + 1) + "." + PictureExtension(pictures[i]->MIMEType));
        if (const std::string error = WriteNew(target, pictures[i]->PictureData); !error.empty()) {
            std::cerr << "velmar-cli: " << Printable(target.string()) << ": " << Printable(error) << "\n";
            status = 1;
            continue;
        }
        std::cout << Printable(target.string()) << "\n";
    }
    return status;
}

}  // namespace

const std::string& PictureTypeName(unsigned type) {
    const auto& names = PictureTypeNames();
    return names.at(type < names.size() ? type : 0);
}

std::string PictureExtension(const std::string& mimeType) {
    std::string kind = mimeType.substr(mimeType.find('/') + 1);  // "JPG" of an ID3v2.2 picture has no "image/"
    std::transform(kind.begin(), kind.end(), kind.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
    static const std::pair<std::string_view, const char*> kKinds[] = {{"jpeg", "jpg"},
                                                                      {"jpg", "jpg"},
                                                                      {"pjpeg", "jpg"},
                                                                      {"png", "png"},
                                                                      {"gif", "gif"},
                                                                      {"bmp", "bmp"},
                                                                      {"bitmap", "bmp"},
                                                                      {"x-ms-bmp", "bmp"},
                                                                      {"ico", "ico"},
                                                                      {"x-icon", "ico"},
                                                                      {"vnd.microsoft.icon", "ico"}};
    for (const auto& [name, extension] : kKinds)
        if (kind == name) return extension;
    return "bin";
}

namespace {

int Pictures(const TArgs& args, THistory*) {
    if (args.Operands.size() != 1) return args.UsageError(args.Operands.empty() ? "pictures needs a file" : "pictures takes one file");
    const std::optional<fs::path> file = args.Operands.front(), dir = args.Value("-o");
    TSayingSink sink(file->string());
    TMP3Object mp3(sink);
    if (!mp3.LoadFile(*file, false)) return 1;
    const TID3v2Object& v2 = mp3.ID3v2();
    std::vector<const TAPICFrame*> pictures;
    for (size_t i = 0; i < std::min(v2.APIC.size(), size_t(std::max(v2.APICCount, 0))); ++i)
        pictures.push_back(&v2.APIC[i]);
    if (dir) return pictures.empty() ? 0 : WritePictures(*file, pictures, *dir);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const TAPICFrame& p = *pictures[i];
        std::cout << i + 1 << ": " << unsigned(p.PictureType) << " " << PictureTypeName(p.PictureType) << ", "
                  << Printable(p.MIMEType) << ", \"" << Printable(p.Description) << "\", " << p.PictureData.size()
                  << " bytes\n";
    }
    return 0;
}

}  // namespace

const TCommand kPictures{"pictures", kPicturesUsage, {{"-o", true, "--output"}}, Pictures};

}  // namespace velmar::cli
