#pragma once
// What the catalogue fuzzer checks on one input, shared with the normal tests that run its
// corpus. The input's first byte sets the piece size of the streaming reader; the rest is a
// catalogue file. Every lookup must give the same value from the whole text and from the text
// read in pieces, and the lookup that passes over lines must find what the line-by-line one
// finds.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/ini.h"
#include "platform/text.h"

namespace tovren::fuzz {

// Empty when the readers agree; otherwise what differed.
inline std::string catalogueDisagreement(std::string_view input) {
    if (input.empty()) return {};
    const size_t pieceSize = 1 + static_cast<unsigned char>(input[0]) % 64;
    const std::string_view file = input.substr(1);
    const catalogue::IniText text = catalogue::classifyIniText(file);

    // The lookups: the client's own, and a few of the keys the file holds.
    std::vector<std::pair<std::string, std::string>> lookups = {
        {"题目数量", "Word题数量"}, {"操作要求", "Word第1题"}, {"s", "k"}, {"s", ""}};
    for (const char* section : {"s", "题目数量", "操作要求"}) {
        const std::string name = text.doubleByte() ? platform::utf8ToGbkLossy(section) : section;
        std::vector<std::string> keys = catalogue::findIniKeys(text, name);
        keys.resize(std::min<size_t>(keys.size(), 4));
        for (const std::string& key : keys) {
            // The fast and the line-by-line lookup, on the text's own bytes, with every way of
            // passing over lines that the processor has.
            const std::optional<std::string> reference =
                catalogue::findIniValueLineByLine(text, name, key);
            const catalogue::LineScan best = catalogue::lineScan();
            bool same = true;
            for (catalogue::LineScan scan : {catalogue::LineScan::Bytes, catalogue::LineScan::Sse2,
                                             catalogue::LineScan::Avx2}) {
                catalogue::setLineScan(scan);
                same = same && catalogue::findIniValue(text, name, key) == reference;
            }
            catalogue::setLineScan(best);
            if (!same) return "passing over lines finds another value for key " + key;
            lookups.emplace_back(section, text.doubleByte() ? platform::gbkToUtf8(key) : key);
        }
    }
    for (const auto& [section, key] : lookups) {
        const std::string whole = catalogue::valueGbkOfText(file, section, key);
        size_t at = 0;
        const std::string inPieces = catalogue::valueGbkOfStream(
            [&](char* into, int64_t count) {
                size_t n = std::min({static_cast<size_t>(count), pieceSize, file.size() - at});
                std::memcpy(into, file.data() + at, n);
                at += n;
                return static_cast<int64_t>(n);
            },
            section, key, pieceSize);
        if (whole != inPieces) return "whole text and pieces differ for key " + key;
        if (whole.size() > catalogue::kValueLimit) return "a value beyond the limit";
    }
    return {};
}

}  // namespace tovren::fuzz
