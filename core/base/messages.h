#pragma once
// The one way the core talks to a user: every message text goes to a sink
// that the caller passes in. The GUI shows it, the CLI prints it, tests collect it.
#include <string>
#include <vector>

namespace velmar {

class TMessageSink {
public:
    virtual ~TMessageSink() = default;
    virtual void Error(const std::string& text) = 0;
};

// Keeps every message, in order.
class TCollectingSink : public TMessageSink {
public:
    void Error(const std::string& text) override { Messages.push_back(text); }
    std::vector<std::string> Messages;
};

// Drops every message.
class TNullSink : public TMessageSink {
public:
    void Error(const std::string&) override {}
};

}  // namespace velmar
