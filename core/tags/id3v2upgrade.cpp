#include "id3v2upgrade.h"

#include <cctype>
#include <unordered_map>
#include <vector>

namespace velmar {

std::string UpgradeFrameID22(std::string_view id22) {
    static const std::unordered_map<std::string_view, std::string_view> kTwins = {
        {"BUF", "RBUF"},
        {"CNT", "PCNT"},
        {"COM", "COMM"},
        {"CRA", "AENC"},
        {"ETC", "ETCO"},
        {"EQU", "EQUA"},
        {"GEO", "GEOB"},
        {"IPL", "IPLS"},
        {"MCI", "MCDI"},
        {"MLL", "MLLT"},
        {"PIC", "APIC"},
        {"POP", "POPM"},
        {"REV", "RVRB"},
        {"RVA", "RVAD"},
        {"SLT", "SYLT"},
        {"STC", "SYTC"},
        {"TAL", "TALB"},
        {"TBP", "TBPM"},
        {"TCM", "TCOM"},
        {"TCO", "TCON"},
        {"TCR", "TCOP"},
        {"TDA", "TDAT"},
        {"TDY", "TDLY"},
        {"TEN", "TENC"},
        {"TFT", "TFLT"},
        {"TIM", "TIME"},
        {"TKE", "TKEY"},
        {"TLA", "TLAN"},
        {"TLE", "TLEN"},
        {"TMT", "TMED"},
        {"TOA", "TOPE"},
        {"TOF", "TOFN"},
        {"TOL", "TOLY"},
        {"TOR", "TORY"},
        {"TOT", "TOAL"},
        {"TP1", "TPE1"},
        {"TP2", "TPE2"},
        {"TP3", "TPE3"},
        {"TP4", "TPE4"},
        {"TPA", "TPOS"},
        {"TPB", "TPUB"},
        {"TRC", "TSRC"},
        {"TRD", "TRDA"},
        {"TRK", "TRCK"},
        {"TSI", "TSIZ"},
        {"TSS", "TSSE"},
        {"TT1", "TIT1"},
        {"TT2", "TIT2"},
        {"TT3", "TIT3"},
        {"TXT", "TEXT"},
        {"TXX", "TXXX"},
        {"TYE", "TYER"},
        {"UFI", "UFID"},
        {"ULT", "USLT"},
        {"WAF", "WOAF"},
        {"WAR", "WOAR"},
        {"WAS", "WOAS"},
        {"WCM", "WCOM"},
        {"WCP", "WCOP"},
        {"WPB", "WPUB"},
        {"WXX", "WXXX"},
        // Text frames that iTunes writes in both versions under these names.
        {"TCP", "TCMP"},
        {"TST", "TSOT"},
        {"TSA", "TSOA"},
        {"TSP", "TSOP"},
        {"TS2", "TSO2"},
        {"TSC", "TSOC"},
    };
    const auto it = kTwins.find(id22);
    return it == kTwins.end() ? std::string() : std::string(it->second);
}

TBytes UpgradePictureBody22(std::span<const uint8_t> pic) {
    if (pic.size() < 5) return TBytes(pic.begin(), pic.end());
    std::string format(reinterpret_cast<const char*>(pic.data() + 1), 3);
    for (char& c : format) c = char(std::tolower(uint8_t(c)));
    while (!format.empty() && (format.back() == '\0' || format.back() == ' ')) format.pop_back();
    const std::string mime = format == "jpg"                         ? "image/jpeg"
                             : format.find('/') != std::string::npos ? format
                                                                     : "image/" + format;
    TBytes out{pic[0]};
    out.insert(out.end(), mime.begin(), mime.end());
    out.push_back(0);
    out.insert(out.end(), pic.begin() + 4, pic.end());
    return out;
}

std::string JoinTextValues24(std::string_view id, std::span<const uint8_t> body) {
    if (body.empty()) return {};
    const uint8_t encoding = body[0];
    std::vector<std::string> values;
    size_t pos = 1;
    while (pos < body.size()) {
        const size_t n = FindTerminator(encoding, body.data() + pos, body.size() - pos);
        values.push_back(DecodeText(encoding, body.data() + pos, n));
        pos += n + TerminatorSize(encoding);
    }
    while (values.size() > 1 && values.back().empty()) values.pop_back();
    std::string joined;
    if (id == "TCON") {
        std::string refs, texts;
        for (const std::string& v : values) {
            const bool number = !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
            if (number || v == "RX" || v == "CR")
                refs += "(" + v + ")";
            else
                texts += (texts.empty() ? "" : "/") + v;
        }
        return refs + texts;
    }
    for (size_t i = 0; i < values.size(); ++i) joined += (i ? "/" : "") + values[i];
    return joined;
}

TBytes TextBody23(std::string_view utf8) {
    const uint8_t encoding = ChooseEncoding({utf8});
    TBytes body{encoding};
    AppendEncodedText(body, encoding, utf8, false);
    return body;
}

TBytes DowngradeChapterBody24(std::string_view id, std::span<const uint8_t> body) {
    // CHAP: element ID, then four 32-bit times and offsets. CTOC: element ID, flags,
    // entry count, the child element IDs. Embedded frames follow.
    size_t pos = FindTerminator(0, body.data(), body.size()) + 1;
    if (id == "CHAP") {
        pos += 16;
    } else {
        const size_t entries = pos + 1 < body.size() ? body[pos + 1] : 0;
        pos += 2;
        for (size_t i = 0; i < entries && pos < body.size(); ++i)
            pos += FindTerminator(0, body.data() + pos, body.size() - pos) + 1;
    }
    if (pos > body.size()) return TBytes(body.begin(), body.end());
    TBytes out(body.begin(), body.begin() + int64_t(pos));
    while (pos + 10 <= body.size()) {
        const uint8_t* h = body.data() + pos;
        const std::string frameID(reinterpret_cast<const char*>(h), 4);
        const size_t size =
            (size_t(h[4] & 0x7F) << 21) | (size_t(h[5] & 0x7F) << 14) | (size_t(h[6] & 0x7F) << 7) | (h[7] & 0x7F);
        if (h[9] != 0 || size > body.size() - pos - 10) break;  // frames with format flags or cut short are left out
        std::span<const uint8_t> data = body.subspan(pos + 10, size);
        const TBytes converted = frameID[0] == 'T' && frameID != "TXXX" ? TextBody23(JoinTextValues24(frameID, data))
                                                                        : TBytes(data.begin(), data.end());
        out.insert(out.end(), h, h + 4);
        const uint32_t n = uint32_t(converted.size());
        out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
        out.insert(out.end(), converted.begin(), converted.end());
        pos += 10 + size;
    }
    return out;
}

TTimestampParts SplitTimestamp24(std::string_view s) {
    TTimestampParts p;
    auto digits = [&](size_t at, size_t n) {
        if (at + n > s.size()) return false;
        for (size_t i = at; i < at + n; ++i)
            if (!std::isdigit(uint8_t(s[i]))) return false;
        return true;
    };
    if (!digits(0, 4)) return p;
    p.Year = std::string(s.substr(0, 4));
    if (s.size() >= 10 && s[4] == '-' && s[7] == '-' && digits(5, 2) && digits(8, 2))
        p.DayMonth = std::string(s.substr(8, 2)) + std::string(s.substr(5, 2));
    if (!p.DayMonth.empty() && s.size() >= 16 && s[10] == 'T' && s[13] == ':' && digits(11, 2) && digits(14, 2))
        p.HourMinute = std::string(s.substr(11, 2)) + std::string(s.substr(14, 2));
    return p;
}

}  // namespace velmar
