#include "platform/files.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace tovren::platform {
namespace {

std::mutex busyRetryLock;
BusyRetry& busyRetryStorage() {
    static BusyRetry retry;
    return retry;
}

BusyRetry currentBusyRetry() {
    std::lock_guard lock(busyRetryLock);
    return busyRetryStorage();
}

}  // namespace

BusyRetry setBusyRetry(BusyRetry retry) {
    std::lock_guard lock(busyRetryLock);
    std::swap(busyRetryStorage(), retry);
    return retry;
}

bool retryWhileBusy(const std::function<Attempt()>& attempt) {
    Attempt result = attempt();
    if (result != Attempt::Busy) return result == Attempt::Done;
    // Only a busy file pays for reading the setting.
    const BusyRetry retry = currentBusyRetry();
    const int32_t step = std::max(retry.stepMs, 1);
    for (int32_t waited = 0; waited < retry.limitMs; ) {
        const int32_t ms = std::min(step, retry.limitMs - waited);
        if (retry.sleep)
            retry.sleep(ms);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        waited += ms;
        result = attempt();
        if (result != Attempt::Busy) return result == Attempt::Done;
    }
    return false;
}

std::optional<std::string> readWholeFile(std::string_view path) {
    auto file = File::open(path, File::Mode::Read);
    if (!file) return std::nullopt;
    std::optional<int64_t> size = file->size();
    if (!size) return std::nullopt;
    std::string bytes(static_cast<size_t>(*size), '\0');
    int64_t got = 0;
    while (got < *size) {
        int64_t n = file->read(bytes.data() + got, *size - got);
        if (n < 0) return std::nullopt;
        if (n == 0) break;  // the file shrank while we read it
        got += n;
    }
    bytes.resize(static_cast<size_t>(got));
    return bytes;
}

}  // namespace tovren::platform
