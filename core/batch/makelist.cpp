#include "batch/makelist.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "file/filereader.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

const char* const kTemplateFiles[] = {"top.txt", "main.txt", "end.txt"};

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace

std::vector<std::string> ListNames(const fs::path& listsFolder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(listsFolder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory(ec) && !name.starts_with('.')) names.push_back(name);
    }
    SortNames(names);
    return names;
}

std::vector<std::string> ReadTemplate(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TListTemplates LoadList(const fs::path& listsFolder, const std::string& name) {
    const fs::path folder = listsFolder / name;
    return {ReadTemplate(folder / kTemplateFiles[0]), ReadTemplate(folder / kTemplateFiles[1]),
            ReadTemplate(folder / kTemplateFiles[2])};
}

bool SaveList(const fs::path& listsFolder, const std::string& name, const TListTemplates& list, TMessageSink& sink) {
    const std::vector<std::string>* parts[] = {&list.Top, &list.Main, &list.End};
    for (size_t k = 0; k < 3; ++k) {
        const fs::path file = listsFolder / name / kTemplateFiles[k];
        if (const std::string problem = ReplaceFileContents(file, JoinLines(*parts[k])); !problem.empty()) {
            sink.Error("Cannot save the list \"" + name + "\": " + problem);
            return false;
        }
    }
    return true;
}

TReportKind ReportKindOf(const fs::path& report) {
    const std::string extension = report.extension().string();
    if (strcasecmp(extension.c_str(), ".htm") == 0 || strcasecmp(extension.c_str(), ".html") == 0)
        return TReportKind::Html;
    if (strcasecmp(extension.c_str(), ".csv") == 0) return TReportKind::Csv;
    return TReportKind::Plain;
}

std::string EscapeValue(const std::string& value, TReportKind kind) {
    if (kind == TReportKind::Html) {
        std::string out;
        out.reserve(value.size());
        for (const char c : value) {
            switch (c) {
                case '&': out += "&amp;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                case '"': out += "&quot;"; break;
                default: out += c;
            }
        }
        return out;
    }
    if (kind == TReportKind::Csv && value.find_first_of(",\"\r\n") != std::string::npos) {
        std::string out = "\"";
        for (const char c : value) out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    }
    return value;
}

std::vector<std::string> ReportLines(const TListTemplates& list, const std::vector<TTokenValues>& files,
                                     const TTags& format, TReportKind kind) {
    std::vector<std::string> lines = list.Top;
    if (!list.Main.empty())
        for (TTokenValues values : files) {
            for (std::string& v : values) v = EscapeValue(v, kind);
            for (const std::string& line : list.Main) lines.push_back(ExpandMask(line, values, format, kModeMakeList));
        }
    lines.insert(lines.end(), list.End.begin(), list.End.end());
    return lines;
}

bool MakeList(const TListTemplates& list, const std::vector<fs::path>& files, const TTags& format,
              const fs::path& report, TMessageSink& sink, const std::function<bool(size_t)>& progress) {
    std::vector<TTokenValues> values;
    values.reserve(files.size());
    // The files are read on the thread pool; their values and messages arrive here in order.
    const bool read = ReadFilesInOrder<TTokenValues>(
        files,
        [](const fs::path& file, TCollectingSink& fileSink) {
            TMP3Object object(fileSink);
            return object.LoadFile(file, false) ? GatherFileValues(object) : TTokenValues{};
        },
        [&](size_t, TFileRead<TTokenValues>&& file) {
            for (const std::string& m : file.Messages) sink.Error(m);
            values.push_back(std::move(file.Value));
            return !progress || progress(values.size());
        });
    if (!read) {
        sink.Error("The list was not written: making it was cancelled.");
        return false;
    }
    const std::string problem =
        ReplaceFileContents(report, JoinLines(ReportLines(list, values, format, ReportKindOf(report))));
    if (!problem.empty()) sink.Error("Cannot write the list \"" + report.string() + "\": " + problem);
    return problem.empty();
}

std::string ReplaceFileContents(const fs::path& target, const std::string& text) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const fs::path temp = folder / ("." + target.filename().string() + ".velmar-" + std::to_string(::getpid()) + "-" +
                                    std::to_string(counter++));
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return "it is not a plain file";
    if (exists && ::access(target.c_str(), W_OK) != 0) return std::strerror(errno);  // its protection holds
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return std::strerror(errno);
    // A report written again keeps the permissions of the one it replaces.
    int error = exists && ::fchmod(fd, old.st_mode & 07777) != 0 ? errno : 0;
    for (size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (errno != EINTR)
            error = n == 0 ? EIO : errno;
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) == 0) return {};
    const std::string reason = std::strerror(error ? error : errno);
    ::unlink(temp.c_str());
    return reason;
}

}  // namespace velmar
