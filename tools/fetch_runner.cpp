// tovren-tool fetch [OPTIONS] URL LOCALPATH: reading the options, running the task, the exit code.
#include "fetch_runner.h"

#include <charconv>
#include <chrono>
#include <optional>
#include <string_view>

#include "fetch/download.h"
#include "platform/files.h"

namespace tovren::tool {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCompleted = 0, kNoFile = 1, kRefused = 2;
constexpr int32_t kProgressStepMs = 250;

struct FetchRequest {
    fetch::DownloadSettings settings;
    fetch::TaskParam param;
    std::optional<int32_t> stopAfterMs;
};

std::optional<int32_t> wholeNumber(const std::string& text, int32_t least) {
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < least) return std::nullopt;
    return value;
}

// Reads the options and the two paths; an empty optional with `problem` set on a usage error.
std::optional<FetchRequest> readArguments(const Arguments& args, std::string& problem) {
    FetchRequest request;
    struct Option {
        std::string_view name;
        int32_t least;
        int32_t* target;
    };
    int32_t stopAfter = -1;
    const Option options[] = {
        {"--retries", 0, &request.settings.retries},
        {"--retry-wait-ms", 0, &request.settings.retryWaitMs},
        {"--connect-timeout-ms", 1, &request.param.connectTimeout},
        {"--send-timeout-ms", 1, &request.param.sendTimeout},
        {"--receive-timeout-ms", 1, &request.param.receiveTimeout},
        {"--stop-after-ms", 0, &stopAfter},
    };
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if (!args[i].starts_with("--")) {
            positional.push_back(args[i]);
            continue;
        }
        const Option* option = nullptr;
        for (const Option& o : options)
            if (args[i] == o.name) option = &o;
        if (!option) {
            problem = "unknown fetch option '" + args[i] + "'";
            return std::nullopt;
        }
        std::optional<int32_t> value;
        if (i + 1 < args.size()) value = wholeNumber(args[i + 1], option->least);
        if (!value) {
            problem = std::string(option->name) + " takes a whole number of at least " + std::to_string(option->least);
            return std::nullopt;
        }
        *option->target = *value;
        ++i;
    }
    if (positional.size() != 2) {
        problem = "fetch takes a URL and a LOCALPATH";
        return std::nullopt;
    }
    request.param.url = positional[0];
    request.param.localPath = positional[1];
    if (stopAfter >= 0) request.stopAfterMs = stopAfter;
    return request;
}

}  // namespace

int runFetchTask(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage) {
    std::optional<FetchRequest> request = readArguments(args, usageMessage);
    if (!request) return kUsageError;
    request->param.messageRoutine = [err](std::string_view line) {
        std::fprintf(err, "fetch: %.*s\n", static_cast<int>(line.size()), line.data());
    };

    fetch::Download download(request->settings);
    if (!download.addTask(request->param)) {
        std::fprintf(err, "fetch: the task was refused: %s\n", request->param.url.c_str());
        return kRefused;
    }
    const Clock::time_point start = Clock::now();
    int32_t reported = 0;
    for (;;) {
        int32_t step = kProgressStepMs;
        if (request->stopAfterMs) {
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            if (elapsed >= *request->stopAfterMs) {
                std::fprintf(err, "fetch: stopping after %d ms\n", static_cast<int>(*request->stopAfterMs));
                download.destroy();
                break;
            }
            step = std::min<int32_t>(step, static_cast<int32_t>(*request->stopAfterMs - elapsed));
        }
        if (download.waitUntilIdle(step)) break;
        int32_t received = download.receivedBytes();
        if (received != reported) std::fprintf(err, "fetch: %d bytes received\n", static_cast<int>(received));
        reported = received;
    }

    std::optional<fetch::TaskOutcome> outcome = download.lastOutcome();
    if (!outcome || outcome->end != fetch::TaskEnd::Completed) {
        std::fprintf(err, "fetch: no complete file: %s\n", fetch::toString(outcome ? outcome->end : fetch::TaskEnd::Failed));
        return kNoFile;
    }
    std::string path = platform::nativePath(outcome->path) + "\n";
    std::fwrite(path.data(), 1, path.size(), out);
    return std::fflush(out) == 0 ? kCompleted : kNoFile;
}

}  // namespace tovren::tool
