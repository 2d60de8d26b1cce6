#include "batch/makelist.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

#include "file/filereader.h"
#include "file/inplace.h"

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

namespace {

bool ContainsNoCase(const std::string& text, const char* word) {
    const size_t n = std::strlen(word);
    for (size_t i = 0; i + n <= text.size(); ++i)
        if (strncasecmp(text.c_str() + i, word, n) == 0) return true;
    return false;
}

}  // namespace

std::string ListExtension(const std::string& listName, const TListTemplates& list) {
    if (ContainsNoCase(listName, "csv")) return ".csv";
    if (ContainsNoCase(listName, "htm")) return ".html";
    if (ContainsNoCase(listName, "text") || ContainsNoCase(listName, "txt")) return ".txt";
    for (const std::string& line : list.Top)
        if (ContainsNoCase(line, "<html") || ContainsNoCase(line, "<table")) return ".html";
    return {};
}

std::string WithListExtension(const std::string& report, const std::string& extension) {
    if (extension.empty()) return report;
    const size_t slash = report.find_last_of("/\\");
    const size_t dot = report.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return report;
    const std::string own = report.substr(dot);
    for (const char* made : {".csv", ".htm", ".html", ".txt"})
        if (strcasecmp(own.c_str(), made) == 0) return report.substr(0, dot) + extension;
    return report;
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

namespace {

// Opens a file beside `target` to write its new contents into, and names it in
// `temp`. One name, ".NAME.velmar-new" (a hash of NAME when that is too long), taken
// again and emptied by the next writer, so that one left by a writer that was killed
// goes; it is locked while it is written. A name of this writer's own when that one
// is in use, or is not a plain file of this user's with no other name.
int OpenBeside(const fs::path& target, fs::path& temp) {
    temp = NameBeside(target, ".velmar-new");
    if (const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644); fd >= 0) {
        struct stat st {}, named {};
        // Locked, it must still be the file of that name (not one renamed over another's report just now).
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1 &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(temp.c_str(), &named) == 0 && named.st_dev == st.st_dev &&
            named.st_ino == st.st_ino && ::ftruncate(fd, 0) == 0)
            return fd;
        ::close(fd);
    }
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string own = ".velmar-new-";
    for (int i = 0; i < 8; ++i) own += kLetters[random() % (sizeof kLetters - 1)];
    temp = NameBeside(target, own);
    return ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
}

}  // namespace

TReplacement::TReplacement(const fs::path& target) : Target(target) {
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        OpenProblem = "it is not a plain file";
        return;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0) {  // its protection holds
        OpenProblem = std::strerror(errno);
        return;
    }
    Fd = OpenBeside(target, Temp);
    if (Fd < 0) {
        OpenProblem = std::strerror(errno);
        return;
    }
    // A file written again keeps the permissions of the one it replaces.
    if (exists && ::fchmod(Fd, old.st_mode & 07777) != 0) Error = errno;
}

TReplacement::~TReplacement() {
    if (Fd < 0) return;
    // Not finished: removed while it is still locked, so another writer never takes it half way.
    ::unlink(Temp.c_str());
    ::close(Fd);
}

void TReplacement::Write(std::string_view text) {
    if (Fd < 0 || Error != 0) return;
    Buffer.append(text);
    if (Buffer.size() >= kFlushAt) Flush();
}

void TReplacement::Flush() {
    for (size_t done = 0; Error == 0 && done < Buffer.size();) {
        const ssize_t n = ::write(Fd, Buffer.data() + done, Buffer.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n == 0 || errno != EINTR)
            Error = n == 0 ? EIO : errno;
    }
    Buffer.clear();
}

std::string TReplacement::Finish() {
    if (Fd < 0) return OpenProblem.empty() ? "it was written already" : OpenProblem;
    Flush();
    if (Error == 0 && ::fsync(Fd) != 0) Error = errno;
    // Renamed, or removed, while it is still locked: another writer never takes it half way.
    if (Error == 0 && ::rename(Temp.c_str(), Target.c_str()) != 0) Error = errno;
    if (Error != 0) ::unlink(Temp.c_str());
    ::close(Fd);  // flushed already
    Fd = -1;
    return Error == 0 ? std::string() : std::strerror(Error);
}

std::string ReplaceFileContents(const fs::path& target, const std::string& text) {
    TReplacement file(target);
    if (!file.Problem().empty()) return file.Problem();
    file.Write(text);
    return file.Finish();
}

bool MakeListOfPaths(const TListTemplates& list, const TPathList& files, const TTags& format, const fs::path& report,
                     TMessageSink& sink, const std::function<bool(size_t)>& progress) {
    const TReportKind kind = ReportKindOf(report);
    // Each file's lines are written as it is read, so that a report of many files is
    // never held whole; the report takes its name only once it is whole.
    TReplacement out(report);
    auto write = [&out](const std::string& line) {
        out.Write(line);
        out.Write("\r\n");
    };
    for (const std::string& line : list.Top) write(line);
    size_t read = 0;
    // The files are read on the thread pool; their values and messages arrive here in order.
    const bool all = ReadFilesInOrder<TTokenValues>(
        files,
        [](const fs::path& file, TCollectingSink& fileSink) {
            TMP3Object object(fileSink);
            return object.LoadFile(file, false) ? GatherFileValues(object) : TTokenValues{};
        },
        [&](size_t, TFileRead<TTokenValues>&& file) {
            for (const std::string& m : file.Messages) sink.Error(m);
            if (!list.Main.empty()) {
                for (std::string& v : file.Value) v = EscapeValue(v, kind);
                for (const std::string& line : list.Main) write(ExpandMask(line, file.Value, format, kModeMakeList));
            }
            ++read;
            return !progress || progress(read);
        });
    if (!all) {
        sink.Error("The list was not written: making it was cancelled.");
        return false;
    }
    for (const std::string& line : list.End) write(line);
    const std::string problem = out.Problem().empty() ? out.Finish() : out.Problem();
    if (!problem.empty()) sink.Error("Cannot write the list \"" + report.string() + "\": " + problem);
    return problem.empty();
}

bool MakeList(const TListTemplates& list, const std::vector<fs::path>& files, const TTags& format,
              const fs::path& report, TMessageSink& sink, const std::function<bool(size_t)>& progress) {
    TPathList paths;
    for (const fs::path& file : files) paths.Add(file.native());
    return MakeListOfPaths(list, paths, format, report, sink, progress);
}

}  // namespace velmar
