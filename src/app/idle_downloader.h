#pragma once
// A stand-in for the download service until the real one is plugged in: it takes every task,
// fetches nothing and always reports 0 bytes, so every wait ends at its first poll.
#include "fetch/task_param.h"

namespace tovren::app {

class IdleDownloader final : public fetch::Downloader {
public:
    bool addTask(const fetch::TaskParam&) override { return true; }
    int32_t receivedBytes() const override { return 0; }
};

}  // namespace tovren::app
