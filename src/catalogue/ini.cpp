#include "catalogue/ini.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "platform/text.h"

namespace tovren::catalogue {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
}

bool namesMatch(std::string_view a, std::string_view b, bool doubleByte) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (doubleByte && platform::isGbkLeadByte(static_cast<unsigned char>(a[i])) &&
            i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool isAsciiLetter(char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// True when the name's last byte compares exactly in namesMatch: the trail byte of a
// double-byte character, or a single-byte character that is no ASCII letter.
bool endsInNonLetter(std::string_view name, bool doubleByte) {
    size_t i = 0, lastStart = 0;
    while (i < name.size()) {
        lastStart = i;
        bool pair = doubleByte && platform::isGbkLeadByte(static_cast<unsigned char>(name[i])) &&
                    i + 1 < name.size();
        i += pair ? 2 : 1;
    }
    return name.size() - lastStart == 2 || !isAsciiLetter(name.back());
}

// The position of the first "]" that is a character of its own, or npos.
size_t findClosingBracket(std::string_view s, bool doubleByte) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ']') return i;
        if (doubleByte && platform::isGbkLeadByte(static_cast<unsigned char>(s[i]))) ++i;
    }
    return std::string_view::npos;
}

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Calls `line` for each line of the text, without its line end, until it returns true.
template <typename LineFunction>
void forEachLine(std::string_view text, LineFunction line) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* lineEnd = findLineEnd(p, end);
        if (line(std::string_view(p, static_cast<size_t>(lineEnd - p)))) break;
        p = lineEnd == end ? end : lineEnd + 1;
    }
}

}  // namespace

std::string_view encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Gbk:
            return "GBK";
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::Utf16Le:
            return "UTF-16LE";
    }
    return "GBK";
}

std::string Utf16LeDecoder::decode(std::string_view bytes, bool last) {
    std::string input = held_;
    input.append(bytes);
    held_.clear();
    std::u16string text(input.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(input[2 * i]) |
                                        static_cast<unsigned char>(input[2 * i + 1]) << 8);
    size_t used = text.size() * 2;
    if (!last) {
        // A high surrogate waits for its partner in the next piece.
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
            text.pop_back();
            used -= 2;
        }
        held_ = input.substr(used);
    }
    return platform::utf16ToUtf8(text);
}

IniText classifyIniText(std::string_view bytes) {
    if (bytes.starts_with(kUtf16LeByteOrderMark)) {
        Utf16LeDecoder decoder;
        return {decoder.decode(bytes.substr(kUtf16LeByteOrderMark.size()), true),
                TextEncoding::Utf16Le};
    }
    if (bytes.starts_with(kUtf8ByteOrderMark))
        return {std::string(bytes.substr(kUtf8ByteOrderMark.size())), TextEncoding::Utf8};
    // A GBK catalogue fails the check at its first Chinese character, so this is cheap there.
    if (hasHighByte(bytes) && platform::isValidUtf8(bytes))
        return {std::string(bytes), TextEncoding::Utf8};
    return {std::string(bytes), TextEncoding::Gbk};
}

namespace {

const char* findLineEndByBytes(const char* p, const char* end) {
    while (p < end && *p != '\r' && *p != '\n') ++p;
    return p;
}

// What makes a position worth a look while a lookup passes over a text: the byte before it is
// a line end or a blank (or any other byte up to 0x20, which costs nothing to let through), and
// it holds "[" or, while the key is wanted, two of the key's bytes lie where the key would have
// them: its last, and the one two before it (for "Word第12题", "题" and "2"). Every section line
// and every line holding the key has such a position at its first non-blank byte; the few
// others are sorted out one by one.
struct Probe {
    size_t at = 0;           // offset in the key
    unsigned char byte = 0;  // the key's byte there, lower case when `fold`
    bool fold = false;       // an ASCII letter, compared without regard to case
};

struct Wanted {
    bool key = false;  // the key is wanted: inside the section
    Probe probes[2];

    bool matches(const char* p, const Probe& probe) const {
        auto c = static_cast<unsigned char>(p[probe.at]);
        return (probe.fold ? (c | 0x20) : c) == probe.byte;
    }
};

bool worthALook(const char* p, const Wanted& w) {
    if (static_cast<unsigned char>(p[-1]) > 0x20) return false;
    if (*p == '[') return true;
    return w.key && w.matches(p, w.probes[0]) && w.matches(p, w.probes[1]);
}

// The first position in [p, stop) worth a look, or stop. p - 1 must be readable, and so must
// everything up to stop + keyLength - 1 while the key is wanted.
const char* nextWorthALookByBytes(const char* p, const char* stop, const Wanted& w) {
    while (p < stop && !worthALook(p, w)) ++p;
    return p;
}

#if defined(__SSE2__)
const char* nextWorthALookSse2(const char* p, const char* stop, const Wanted& w) {
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i bracket = _mm_set1_epi8('[');
    const __m128i keyOn = _mm_set1_epi8(w.key ? -1 : 0);
    const auto probe = [&](const Probe& q) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + q.at));
        return _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(q.fold ? 0x20 : 0)),
                              _mm_set1_epi8(static_cast<char>(q.byte)));
    };
    while (stop - p >= 16) {
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i lineStart = _mm_cmpeq_epi8(_mm_min_epu8(before, space), before);
        const __m128i key =
            _mm_and_si128(_mm_and_si128(probe(w.probes[0]), probe(w.probes[1])), keyOn);
        const __m128i look =
            _mm_and_si128(lineStart, _mm_or_si128(_mm_cmpeq_epi8(bytes, bracket), key));
        const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(look));
        if (found != 0) return p + __builtin_ctz(found);
        p += 16;
    }
    return nextWorthALookByBytes(p, stop, w);
}

// Thirty-two bytes at a time on a processor with AVX2 (most since 2013).
__attribute__((target("avx2"))) const char* nextWorthALookAvx2(const char* p, const char* stop,
                                                               const Wanted& w) {
    const __m256i space = _mm256_set1_epi8(0x20);
    const __m256i bracket = _mm256_set1_epi8('[');
    const __m256i keyOn = _mm256_set1_epi8(w.key ? -1 : 0);
    const __m256i fold0 = _mm256_set1_epi8(w.probes[0].fold ? 0x20 : 0);
    const __m256i byte0 = _mm256_set1_epi8(static_cast<char>(w.probes[0].byte));
    const __m256i fold1 = _mm256_set1_epi8(w.probes[1].fold ? 0x20 : 0);
    const __m256i byte1 = _mm256_set1_epi8(static_cast<char>(w.probes[1].byte));
    const size_t at0 = w.probes[0].at, at1 = w.probes[1].at;
    while (stop - p >= 32) {
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i at0Bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at0));
        const __m256i at1Bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at1));
        const __m256i lineStart = _mm256_cmpeq_epi8(_mm256_min_epu8(before, space), before);
        const __m256i key = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(at0Bytes, fold0), byte0),
                             _mm256_cmpeq_epi8(_mm256_or_si256(at1Bytes, fold1), byte1)),
            keyOn);
        const __m256i look =
            _mm256_and_si256(lineStart, _mm256_or_si256(_mm256_cmpeq_epi8(bytes, bracket), key));
        const uint32_t found = static_cast<uint32_t>(_mm256_movemask_epi8(look));
        if (found != 0) return p + __builtin_ctz(found);
        p += 32;
    }
    return nextWorthALookSse2(p, stop, w);
}

#endif

LineScan bestLineScan() {
#if defined(__SSE2__)
    // Asked while static objects are made, perhaps before the compiler's own start-up code has
    // read the processor's features: read them here.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? LineScan::Avx2 : LineScan::Sse2;
#else
    return LineScan::Bytes;
#endif
}

std::atomic<LineScan> chosenLineScan{bestLineScan()};

const char* nextWorthALook(const char* p, const char* stop, const Wanted& w) {
    switch (chosenLineScan.load(std::memory_order_relaxed)) {
#if defined(__SSE2__)
        case LineScan::Avx2:
            return nextWorthALookAvx2(p, stop, w);
        case LineScan::Sse2:
            return nextWorthALookSse2(p, stop, w);
#endif
        default:
            return nextWorthALookByBytes(p, stop, w);
    }
}

}  // namespace

LineScan lineScan() {
    return chosenLineScan.load();
}

void setLineScan(LineScan scan) {
    const LineScan best = bestLineScan();
    chosenLineScan.store(static_cast<int>(scan) > static_cast<int>(best) ? best : scan);
}

const char* findLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
    // Sixteen bytes at a time, which every x86-64 processor can.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned ends = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
        if (ends != 0) return p + __builtin_ctz(ends);
        p += 16;
    }
#endif
    return findLineEndByBytes(p, end);
}

IniLookup::IniLookup(std::string_view section, std::string_view key, bool doubleByte)
    : section_(section),
      key_(key),
      doubleByte_(doubleByte),
      lastByteExact_(!key.empty() && endsInNonLetter(key, doubleByte)) {}

bool IniLookup::feed(std::string_view line) {
    if (finished_) return true;
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == ';') return false;
    if (line.front() == '[') {
        size_t close = findClosingBracket(line.substr(1), doubleByte_);
        if (close == std::string_view::npos) return false;
        if (inSection_) return finished_ = true;  // only the first matching section counts
        inSection_ = namesMatch(trim(line.substr(1, close)), section_, doubleByte_);
        return false;
    }
    const std::string_view key = key_;
    if (!inSection_ || key.empty() || line.size() <= key.size()) return false;
    // Cheap rejection first: the keys of a section mostly differ in their last character.
    if (lastByteExact_ ? line[key.size() - 1] != key.back()
                       : foldAscii(line[key.size() - 1]) != foldAscii(key.back()))
        return false;
    // The key must start the line, then blanks, then "=".
    if (!namesMatch(line.substr(0, key.size()), key, doubleByte_)) return false;
    std::string_view afterKey = line.substr(key.size());
    while (!afterKey.empty() && isBlank(afterKey.front())) afterKey.remove_prefix(1);
    if (afterKey.empty() || afterKey.front() != '=') return false;
    value_ = std::string(unquote(trim(afterKey.substr(1))));
    return finished_ = true;
}

bool IniLookup::feedLines(std::string_view& text, bool last) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    // Only complete lines are taken, unless this is the last piece.
    const char* limit = end;
    if (!last) {
        while (limit > begin && limit[-1] != '\r' && limit[-1] != '\n') --limit;
    }
    // Feeds the line that starts at `start`; the position after its end.
    const auto feedLineAt = [&](const char* start) {
        const char* lineEnd = findLineEnd(start, limit);
        feed(std::string_view(start, static_cast<size_t>(lineEnd - start)));
        return lineEnd < limit ? lineEnd + 1 : limit;
    };
    // The key's last byte and the one two before it, each compared without regard to case
    // when it is an ASCII letter: never stricter than the names' comparison, so no line that
    // holds the key is passed over.
    Wanted keyWanted;
    keyWanted.key = true;
    if (!key_.empty()) {
        const size_t positions[2] = {key_.size() - 1, key_.size() >= 3 ? key_.size() - 3 : 0};
        for (int i = 0; i < 2; ++i) {
            const char byte = key_[positions[i]];
            const bool fold = isAsciiLetter(byte);
            keyWanted.probes[i] = {positions[i],
                                   static_cast<unsigned char>(fold ? byte | 0x20 : byte), fold};
        }
    }
    // The first line has no byte before it to look at.
    const char* p = begin < limit ? feedLineAt(begin) : limit;
    while (!finished_ && p < limit) {
        const Wanted wanted = inSection_ && !key_.empty() ? keyWanted : Wanted{};
        // The key is looked for only where its last byte lies in the text; a line that starts
        // nearer the end is shorter than the key.
        const char* keyStop = limit;
        if (wanted.key) {
            const size_t reach = key_.size() - 1;
            keyStop = static_cast<size_t>(end - p) > reach ? std::min(limit, end - reach) : p;
        }
        const char* at = nextWorthALook(p, keyStop, wanted);
        if (at == keyStop && keyStop < limit) at = nextWorthALook(keyStop, limit, Wanted{});
        if (at >= limit) break;
        // Worth a look: it counts only at the start of a line, after blanks.
        const char* start = at;
        while (start > begin && (start[-1] == ' ' || start[-1] == '\t')) --start;
        if (start != begin && start[-1] != '\r' && start[-1] != '\n') {
            p = at + 1;
            continue;
        }
        p = std::max(feedLineAt(start), at + 1);
    }
    text.remove_prefix(static_cast<size_t>((finished_ ? p : limit) - begin));
    return finished_;
}

std::optional<std::string> findIniValue(const IniText& text, std::string_view section,
                                        std::string_view key) {
    IniLookup lookup(section, key, text.doubleByte());
    std::string_view body = text.body;
    lookup.feedLines(body, true);
    return lookup.value();
}

std::optional<std::string> findIniValueLineByLine(const IniText& text, std::string_view section,
                                                  std::string_view key) {
    IniLookup lookup(section, key, text.doubleByte());
    forEachLine(text.body, [&](std::string_view line) { return lookup.feed(line); });
    return lookup.value();
}

std::vector<std::string> findIniKeys(const IniText& text, std::string_view section) {
    const bool doubleByte = text.doubleByte();
    std::vector<std::string> keys;
    bool inSection = false;
    forEachLine(text.body, [&](std::string_view line) {
        line = trim(line);
        if (line.empty() || line.front() == ';') return false;
        if (line.front() == '[') {
            size_t close = findClosingBracket(line.substr(1), doubleByte);
            if (close == std::string_view::npos) return false;
            if (inSection) return true;  // only the first matching section counts
            inSection = namesMatch(trim(line.substr(1, close)), section, doubleByte);
            return false;
        }
        // "=" is never the trail byte of a GBK character, so the first one divides.
        size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) return false;
        std::string_view key = trim(line.substr(0, equals));
        if (!key.empty()) keys.emplace_back(key);
        return false;
    });
    return keys;
}

}  // namespace tovren::catalogue
