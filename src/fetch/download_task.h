#pragma once
// One download task as its own thread runs it. Internal to the download service.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "fetch/address.h"
#include "fetch/download.h"
#include "platform/net.h"

namespace tovren::fetch {

// The task's own copy of what it needs from the TaskParam record, checked and bounded.
struct TaskCopy {
    Address address;
    std::string referer;    // GBK, as sent
    std::string localPath;  // UTF-8 program path; a folder when it ends in a separator
    int32_t connectTimeout = 20000;
    int32_t sendTimeout = 20000;
    int32_t receiveTimeout = 20000;
    int32_t stopWait = 1000;
    int32_t receiveBlockSize = 20480;
    MessageRoutine messageRoutine;
};

// What the task shares with its Download: the counter the window thread polls and the stop.
struct TaskState {
    std::atomic<int32_t> received{0};
    std::atomic<int32_t> announced{0};  // the accepted answer's length, for progress shown
    std::shared_ptr<platform::NetCancel> stop = std::make_shared<platform::NetCancel>();
    int32_t stopWait = 1000;
    bool ended = false;  // guarded by the Download's lock
};

// Runs the task to its end on the calling thread. A task that does not complete leaves no
// file of its own behind.
TaskOutcome runTask(const TaskCopy& task, const DownloadSettings& settings, TaskState& state);

}  // namespace tovren::fetch
