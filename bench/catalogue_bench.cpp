// Lookup of the last key of a 2 MB catalogue, measured side by side with reading the same file's
// bytes into memory. Alternates the two in one run and prints the medians and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/ini.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string makeCatalogue(size_t targetBytes, std::string& lastKey) {
    const char* types[] = {"Word",  "Excel",     "PowerPoint", "FrontPage",
                           "Flash", "PhotoShop", "Windows"};
    std::string counts = "[题目数量]\r\n";
    std::string requirements = "[操作要求]\r\n";
    int perType = 0;
    // Chinese text takes two bytes in GBK where UTF-8 takes three.
    while ((counts.size() + requirements.size()) * 2 / 3 < targetBytes) {
        ++perType;
        for (const char* type : types) {
            lastKey = std::string(type) + "第" + std::to_string(perType) + "题";
            requirements += lastKey +
                            "=将标题设置为黑体、二号、居中，字符间距加宽2磅~正文各段首行缩进2字符，"
                            "行距为固定值20磅~在文末插入当前日期~将文档以原文件名保存\r\n";
        }
    }
    for (const char* type : types)
        counts += std::string(type) + "题数量=" + std::to_string(perType) + "\r\n";
    return *tovren::platform::utf8ToGbk(counts + requirements);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "/tmp/tovren-bench-catalogue.ini";
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 300;
    std::string lastKey;
    const std::string bytes = makeCatalogue(2 * 1024 * 1024, lastKey);
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    tovren::catalogue::Catalogue book(path);
    const std::string expected = book.requirementText(lastKey);
    if (expected.empty()) {
        std::fprintf(stderr, "catalogue-bench: the last key was not found\n");
        return 1;
    }
    // The lookup passes over lines with the best instructions the processor has; a school PC
    // without AVX2 uses SSE2, measured too (alternating all three in each round).
    const tovren::catalogue::LineScan best = tovren::catalogue::lineScan();
    const bool withAvx2 = best == tovren::catalogue::LineScan::Avx2;
    std::vector<double> readTimes, lookupTimes, sse2Times;
    size_t sink = 0;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        sink += tovren::platform::readWholeFile(path)->size();
        auto t1 = Clock::now();
        sink += book.requirementText(lastKey).size();
        auto t2 = Clock::now();
        readTimes.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        lookupTimes.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
        if (withAvx2) {
            tovren::catalogue::setLineScan(tovren::catalogue::LineScan::Sse2);
            auto t3 = Clock::now();
            sink += book.requirementText(lastKey).size();
            auto t4 = Clock::now();
            tovren::catalogue::setLineScan(best);
            sse2Times.push_back(std::chrono::duration<double, std::micro>(t4 - t3).count());
        }
    }
    double read = median(readTimes), lookup = median(lookupTimes);
    std::printf("catalogue: %zu bytes, last key %s, %d rounds\n", bytes.size(), lastKey.c_str(),
                rounds);
    std::printf("read file into memory: median %.1f us\n", read);
    std::printf("lookup of the last key (%s): median %.1f us\n", withAvx2 ? "AVX2" : "SSE2",
                lookup);
    if (withAvx2)
        std::printf("lookup of the last key (SSE2): median %.1f us, ratio %.2f\n",
                    median(sse2Times), median(sse2Times) / read);
    std::printf("ratio lookup/read: %.2f (target: at most 2)\n", lookup / read);
    return sink == 0;
}
