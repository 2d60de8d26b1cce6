#pragma once
// A small JSON reader for tests, enough for what `velmar-cli info --json` prints:
// it refuses raw control characters in strings and text after the value, so a
// malformed record fails the test that reads it.
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vtest {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string str;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const std::string& key) const {
        for (const auto& m : members)
            if (m.first == key) return m.second;
        throw std::runtime_error("no key " + key);
    }
    std::vector<std::string> Keys() const {
        std::vector<std::string> k;
        for (const auto& m : members) k.push_back(m.first);
        return k;
    }
};

class TJsonReader {
public:
    explicit TJsonReader(std::string_view text) : S(text) {}
    Json Document() {
        Json v = Value();
        Space();
        if (P != S.size()) Fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what + " at " + std::to_string(P)); }
    void Space() {
        while (P < S.size() && std::isspace(uint8_t(S[P]))) ++P;
    }
    bool Eat(char c) {
        Space();
        if (P < S.size() && S[P] == c) {
            ++P;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Eat(c)) Fail(std::string("expected ") + c);
    }
    Json Value() {
        Space();
        Json v;
        if (P >= S.size()) Fail("end of text");
        if (S.compare(P, 4, "null") == 0) {
            P += 4;
            return v;
        }
        if (S.compare(P, 4, "true") == 0) {
            P += 4;
            v.kind = Json::Bool;
            v.boolean = true;
            return v;
        }
        if (S.compare(P, 5, "false") == 0) {
            P += 5;
            v.kind = Json::Bool;
            return v;
        }
        if (S[P] == '"') {
            v.kind = Json::String;
            v.str = Str();
            return v;
        }
        if (Eat('[')) {
            v.kind = Json::Array;
            if (Eat(']')) return v;
            do v.items.push_back(Value());
            while (Eat(','));
            Expect(']');
            return v;
        }
        if (Eat('{')) {
            v.kind = Json::Object;
            if (Eat('}')) return v;
            do {
                Space();
                std::string key = Str();
                Expect(':');
                v.members.emplace_back(std::move(key), Value());
            } while (Eat(','));
            Expect('}');
            return v;
        }
        size_t used = 0;
        v.kind = Json::Number;
        try {
            v.number = std::stod(std::string(S.substr(P, 40)), &used);
        } catch (...) {
            Fail("bad value");
        }
        P += used;
        return v;
    }
    std::string Str() {
        if (S[P] != '"') Fail("expected a string");
        std::string out;
        for (++P; P < S.size() && S[P] != '"'; ++P) {
            if (uint8_t(S[P]) < 0x20) Fail("raw control character in a string");
            if (S[P] != '\\') {
                out += S[P];
                continue;
            }
            if (++P >= S.size()) Fail("unterminated string");
            const char e = S[P];
            static const std::map<char, char> simple = {{'"', '"'},  {'\\', '\\'}, {'/', '/'},  {'n', '\n'},
                                                        {'r', '\r'}, {'t', '\t'},  {'b', '\b'}, {'f', '\f'}};
            if (simple.count(e)) {
                out += simple.at(e);
                continue;
            }
            if (e != 'u') Fail("bad escape");
            const unsigned c = unsigned(std::stoul(std::string(S.substr(P + 1, 4)), nullptr, 16));
            P += 4;
            if (c < 0x80)
                out += char(c);
            else if (c < 0x800) {
                out += char(0xC0 | c >> 6);
                out += char(0x80 | (c & 0x3F));
            } else {
                out += char(0xE0 | c >> 12);
                out += char(0x80 | (c >> 6 & 0x3F));
                out += char(0x80 | (c & 0x3F));
            }
        }
        if (P >= S.size()) Fail("unterminated string");
        ++P;
        return out;
    }
    std::string_view S;
    size_t P = 0;
};

inline Json ParseJson(const std::string& text) { return TJsonReader(text).Document(); }

}  // namespace vtest
