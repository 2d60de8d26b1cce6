#pragma once
// The one argument convention of every velmar-cli command: "--" ends the options,
// "--opt value" and "--opt=value", "-h"/"--help", and "-" in place of paths for a
// list of paths on standard input ("-0": NUL-separated, as find -print0 gives).
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file/filescan.h"

namespace velmar {
class THistory;
}

namespace velmar::cli {

// An option a command takes: "--name" (or a one-letter "-o"), with a value or not.
struct TOptionSpec {
    std::string_view Name;
    bool Value = false;
    std::string_view Alias = {};  // another spelling, e.g. "--output" for "-o"
};

// A command's arguments, parsed.
struct TArgs {
    std::vector<std::string> Given;                            // as typed, for the history's command line
    std::vector<std::pair<std::string, std::string>> Options;  // in the order given, each by its option's Name
    std::vector<std::string> Operands;                         // paths (or a change's number); "-" kept as it is
    bool Help = false;
    bool NulSeparated = false;  // "-0"
    const char* Usage = "";     // the command's usage text

    bool Has(std::string_view name) const;
    // The last value given for the option.
    std::optional<std::string> Value(std::string_view name) const;
    // Prints "velmar-cli: ERROR" and the usage on standard error; returns 2.
    int UsageError(const std::string& error) const;
    // The paths of the operands: "-" reads them from standard input. Folders are
    // walked as info walks them when `walk` is set.
    TPathList PathList(bool walk = true) const;
    // The same, walking folders, telling `given` of each path as it was given: the
    // number of files listed before its own, and whether it was a folder.
    TPathList PathList(const std::function<void(const std::string& path, size_t first, bool folder)>& given) const;
    // The same as objects, for the commands that change files.
    std::vector<std::filesystem::path> Paths(bool walk = true) const;
};

// Parses `args` by the options of a command. Returns an error text for a usage error, else empty.
std::string ParseArgs(const std::vector<std::string>& args, std::span<const TOptionSpec> options, TArgs& out);

// Paths as standard input lists them: one a line, or NUL-separated; empty entries skipped.
std::vector<std::string> SplitPathList(std::string_view text, bool nulSeparated);

// A command: its usage, its options and what runs it.
struct TCommand {
    std::string_view Name;
    const char* Usage;
    std::vector<TOptionSpec> Options;
    int (*Run)(const TArgs& args, THistory* history);  // history: null for a change left out of it
    bool History = false;                               // works on the history itself: never null
};

// Parses the arguments of `command` and runs it: help on standard output with
// status 0, a usage error on standard error with status 2.
int RunCommand(const TCommand& command, const std::vector<std::string>& args, THistory* history);

}  // namespace velmar::cli
