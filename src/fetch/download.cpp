#include "fetch/download.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "fetch/download_task.h"
#include "platform/out_of_memory.h"
#include "platform/text.h"

namespace tovren::fetch {

// What the Download shares with its task threads; it outlives whichever of them ends last.
struct Download::Shared {
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::shared_ptr<TaskState> current;  // the running task, or none
    std::optional<TaskOutcome> lastOutcome;
};

namespace {

constexpr int32_t kDefaultTimeout = 20000;
constexpr int32_t kReceiveBufferSize = 20480;
constexpr int32_t kStopWaitStep = 20;

std::string withoutLineBreaks(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

// A time-out of 0 or less would end every wait at once (or never): the default stands in.
int32_t timeoutOrDefault(int32_t ms) { return ms > 0 ? ms : kDefaultTimeout; }

std::optional<TaskCopy> copyTask(const TaskParam& param) {
    std::optional<std::string> url = platform::utf8ToGbk(withoutLineBreaks(param.url));
    if (!url) return std::nullopt;
    std::optional<Address> address = parseAddress(*url);
    if (!address) return std::nullopt;

    TaskCopy task;
    task.address = std::move(*address);
    std::string referer = withoutLineBreaks(param.referer);
    task.referer = referer.empty() ? url->substr(0, url->rfind('/')) : platform::utf8ToGbkLossy(referer);
    task.localPath = withoutLineBreaks(param.localPath);
    task.connectTimeout = timeoutOrDefault(param.connectTimeout);
    task.sendTimeout = timeoutOrDefault(param.sendTimeout);
    task.receiveTimeout = timeoutOrDefault(param.receiveTimeout);
    task.stopWait = std::max(param.stopWait, 0);
    task.receiveBlockSize = param.receiveBlockSize > 0 ? std::min(param.receiveBlockSize, kReceiveBufferSize)
                                                       : kReceiveBufferSize;
    task.messageRoutine = param.messageRoutine;
    return task;
}

void taskThread(std::shared_ptr<Download::Shared> shared, std::shared_ptr<TaskState> state,
                TaskCopy task, DownloadSettings settings) {
    TaskOutcome outcome;
    try {
        outcome = runTask(task, settings, *state);
    } catch (const std::bad_alloc&) {
        platform::outOfMemory();  // the program's fatal fault, not a failed download
    } catch (...) {  // nothing may leave a thread's entry; a throwing messageRoutine included
        outcome.end = TaskEnd::Failed;
    }
    {
        // The task's very last step: the Download forgets it (unless a stop already did).
        std::lock_guard lock(shared->lock);
        if (shared->current == state) {
            shared->current.reset();
            shared->lastOutcome = std::move(outcome);
        }
        state->ended = true;
    }
    shared->changed.notify_all();
}

}  // namespace

const char* toString(TaskEnd end) {
    switch (end) {
        case TaskEnd::Completed: return "completed";
        case TaskEnd::Refused: return "the answer was refused";
        case TaskEnd::Unsupported: return "the scheme is not fetched";
        case TaskEnd::NoTarget: return "no target file";
        case TaskEnd::WriteFailed: return "the file could not be written";
        case TaskEnd::RetriesUsedUp: return "the retries are used up";
        case TaskEnd::NoProgress: return "the retries bring nothing new";
        case TaskEnd::Stopped: return "stopped";
        case TaskEnd::Failed: return "failed";
    }
    return "?";
}

Download::Download(DownloadSettings settings)
    : settings_(settings), shared_(std::make_shared<Shared>()) {
    settings_.retries = std::max(settings_.retries, 0);
    settings_.retryWaitMs = std::max(settings_.retryWaitMs, 0);
}

Download::~Download() { destroy(); }

bool Download::addTask(const TaskParam& param) {
    try {
        std::lock_guard lock(shared_->lock);
        if (shared_->current) return false;
        std::optional<TaskCopy> task = copyTask(param);
        if (!task) return false;
        auto state = std::make_shared<TaskState>();
        state->stopWait = task->stopWait;
        // The thread cannot end before the lock is released, so it finds itself as current.
        std::thread(taskThread, shared_, state, std::move(*task), settings_).detach();
        shared_->current = std::move(state);
        return true;
    } catch (const std::bad_alloc&) {
        platform::outOfMemory();
    } catch (const std::exception&) {
        return false;  // no thread
    }
}

int32_t Download::receivedBytes() const {
    std::lock_guard lock(shared_->lock);
    return shared_->current ? shared_->current->received.load() : 0;
}

int32_t Download::announcedLength() const {
    std::lock_guard lock(shared_->lock);
    return shared_->current ? shared_->current->announced.load() : 0;
}

void Download::destroy() {
    std::unique_lock lock(shared_->lock);
    std::shared_ptr<TaskState> task = shared_->current;
    if (!task) return;
    task->stop->cancel();
    for (int32_t waited = 0; !task->ended && waited < task->stopWait; waited += kStopWaitStep)
        shared_->changed.wait_for(lock, std::chrono::milliseconds(kStopWaitStep), [&] { return task->ended; });
    if (shared_->current == task) {
        shared_->current.reset();
        shared_->lastOutcome = TaskOutcome{TaskEnd::Stopped, {}};
    }
    lock.unlock();
    shared_->changed.notify_all();
}

bool Download::isBusy() const {
    std::lock_guard lock(shared_->lock);
    return shared_->current != nullptr;
}

bool Download::waitUntilIdle(int32_t ms) const {
    std::unique_lock lock(shared_->lock);
    return shared_->changed.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
                                     [&] { return shared_->current == nullptr; });
}

std::optional<TaskOutcome> Download::lastOutcome() const {
    std::lock_guard lock(shared_->lock);
    return shared_->lastOutcome;
}

}  // namespace tovren::fetch
