#include "args.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>

#include "file/filescan.h"
#include "report.h"

namespace velmar::cli {

bool TArgs::Has(std::string_view name) const {
    return std::any_of(Options.begin(), Options.end(), [name](const auto& o) { return o.first == name; });
}

std::optional<std::string> TArgs::Value(std::string_view name) const {
    for (auto o = Options.rbegin(); o != Options.rend(); ++o)
        if (o->first == name) return o->second;
    return std::nullopt;
}

int TArgs::UsageError(const std::string& error) const {
    std::cerr << "velmar-cli: " << Printable(error) << "\n" << Usage;
    return 2;
}

std::vector<std::string> SplitPathList(std::string_view text, bool nulSeparated) {
    std::vector<std::string> paths;
    const char separator = nulSeparated ? '\0' : '\n';
    while (!text.empty()) {
        const size_t end = std::min(text.find(separator), text.size());
        if (end > 0) paths.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return paths;
}

namespace {

// Hands each path of standard input to `take` as it is read (one a line, or
// NUL-separated; empty entries skipped), so that a long list is never held whole. A
// read error ends the list where it happened, and is said.
void ReadPathsFromStandardInput(bool nulSeparated, const std::function<void(const std::string&)>& take) {
    const char separator = nulSeparated ? '\0' : '\n';
    std::string partial;  // a path whose end is not read yet
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            std::cerr << "velmar-cli: cannot read the list of paths on standard input: " << std::strerror(errno)
                      << "\n";
        if (n <= 0) break;
        for (std::string_view text(buffer, size_t(n)); !text.empty();) {
            const size_t end = text.find(separator);
            partial.append(text.substr(0, end));
            if (end == std::string_view::npos) break;
            if (!partial.empty()) take(partial);
            partial.clear();
            text.remove_prefix(end + 1);
        }
    }
    if (!partial.empty()) take(partial);
}

}  // namespace

namespace {

// The operands' paths in order, each handed to `take` once; "-" stands for the list on
// standard input, which is read once however often "-" stands.
void ForEachGiven(const TArgs& args, const std::function<void(const std::string&)>& take) {
    bool readInput = false;
    for (const std::string& operand : args.Operands) {
        if (operand != "-") {
            take(operand);
        } else if (!readInput) {
            readInput = true;
            ReadPathsFromStandardInput(args.NulSeparated, take);
        }
    }
}

}  // namespace

TPathList TArgs::PathList(bool walk) const {
    TPathList paths;
    ForEachGiven(*this, [&paths, walk](const std::string& given) {
        if (walk)
            ExpandPathInto(given, paths);
        else
            paths.Add(given);
    });
    return paths;
}

TPathList TArgs::PathList(const std::function<void(const std::string&, size_t, bool)>& given) const {
    TPathList paths;
    ForEachGiven(*this, [&](const std::string& path) {
        const size_t first = paths.size();
        given(path, first, ExpandPathInto(path, paths));
    });
    return paths;
}

std::vector<std::filesystem::path> TArgs::Paths(bool walk) const { return PathList(walk).ToPaths(); }

std::string ParseArgs(const std::vector<std::string>& args, std::span<const TOptionSpec> options, TArgs& out) {
    out.Given = args;
    // The first usage error is kept, and the rest read on, so that help anywhere still wins.
    std::string error;
    auto fail = [&error](std::string text) {
        if (error.empty()) error = std::move(text);
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            out.Operands.insert(out.Operands.end(), args.begin() + long(i) + 1, args.end());
            break;
        }
        if (a == "--help" || a == "-h") {
            out.Help = true;
        } else if (a == "-0") {
            out.NulSeparated = true;
        } else if (a.size() < 2 || a[0] != '-') {
            out.Operands.push_back(a);
        } else {
            const size_t equals = a.starts_with("--") ? a.find('=') : std::string::npos;
            const std::string_view name = std::string_view(a).substr(0, equals);
            const auto known = std::find_if(options.begin(), options.end(), [name](const TOptionSpec& o) {
                return o.Name == name || o.Alias == name;
            });
            if (known == options.end())
                fail("unknown option " + std::string(name) +
                     (a.starts_with("--") ? "" : " (a path that begins with \"-\" goes after \"--\")"));
            else if (!known->Value && equals != std::string::npos)
                fail(std::string(name) + " takes no value");
            else if (!known->Value)
                out.Options.emplace_back(known->Name, std::string());
            else if (equals != std::string::npos)
                out.Options.emplace_back(known->Name, a.substr(equals + 1));
            else if (i + 1 < args.size())
                out.Options.emplace_back(known->Name, args[++i]);
            else
                fail(std::string(name) + " needs a value");
        }
    }
    return error;
}

int RunCommand(const TCommand& command, const std::vector<std::string>& args, THistory* history) {
    TArgs parsed;
    parsed.Usage = command.Usage;
    const std::string error = ParseArgs(args, command.Options, parsed);
    if (parsed.Help) {
        std::cout << command.Usage;
        return 0;
    }
    if (!error.empty()) return parsed.UsageError(error);
    return command.Run(parsed, history);
}

}  // namespace velmar::cli
