#pragma once
// The download service: one plain HTTP download at a time, on a thread of its own. The window
// thread adds a task and polls receivedBytes; nothing here ever waits for the network there.
//
// A task writes the body to a temporary file beside its target and renames it to the final
// name only when the whole announced length has arrived, so no incomplete file ever stands
// under a final name. A network failure (connect, send, receive, time-out, an early close) is
// retried after a wait, resuming with a Range request once the body has begun; retries that the
// server answers without bringing anything new end the task (kFruitlessRetryLimit).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fetch/task_param.h"

namespace tovren::fetch {

// Answered attempts in a row that bring no byte beyond the furthest one ever received, after
// which the task ends: a server that sends the same short piece (or the whole file again, cut
// at the same place) three times will not do better on the 999th, and the student waits about
// 15 s instead of 83 minutes. A working server that honours Range brings new bytes on every
// resume; attempts that get no answer at all (server down, network gone) do not count.
inline constexpr int32_t kFruitlessRetryLimit = 3;

struct DownloadSettings {
    int32_t retries = 999;      // network failures retried per task
    int32_t retryWaitMs = 5000;  // wait before each retry, cut short by a stop
};

// How a task ended.
enum class TaskEnd {
    Completed,        // the whole file stands under its final name
    Refused,          // the server's answer was not accepted (status, length, redirect, range)
    Unsupported,      // an accepted scheme other than http
    NoTarget,         // no safe or free name, a path too long, or the file could not be made
    WriteFailed,      // the file could not be written or renamed
    RetriesUsedUp,    // network failures outlasted the retries
    NoProgress,       // kFruitlessRetryLimit answered retries in a row brought nothing new
    Stopped,          // Destroy stopped it
    Failed,           // no memory or another fault of this process
};

const char* toString(TaskEnd end);

struct TaskOutcome {
    TaskEnd end = TaskEnd::Stopped;
    std::string path;  // the complete file's final path (Completed only)
};

class Download final : public Downloader {
public:
    explicit Download(DownloadSettings settings = {});
    // Destroys: see destroy().
    ~Download() override;
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    bool addTask(const TaskParam& param) override;
    int32_t receivedBytes() const override;
    int32_t announcedLength() const override;

    // Stops the running task, waits up to its stopWait (in 20 ms steps) for it to end, then
    // forgets it; a task that has not ended by then finishes on its own thread. The Download
    // is idle afterwards and takes new tasks.
    void destroy();

    bool isBusy() const;
    // Waits up to `ms` for the running task to end; true when the Download is idle.
    bool waitUntilIdle(int32_t ms) const;
    // How the last task ended; nothing before the first one has.
    std::optional<TaskOutcome> lastOutcome() const;

    struct Shared;

private:
    DownloadSettings settings_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace tovren::fetch
