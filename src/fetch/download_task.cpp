#include "fetch/download_task.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "fetch/http_answer.h"
#include "fetch/target_name.h"
#include "fetch/temporary_files.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tovren::fetch {
namespace {

using platform::NetResult;
using platform::TcpConnection;

constexpr size_t kReceiveBufferSize = 20480;
constexpr int kMaxRedirects = 10;

enum class Step {
    Done,            // the outcome is decided
    Redirected,      // ask again at once, at the new address
    NetworkFailure,  // wait and retry
};

bool endsWithSeparator(std::string_view path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

class TaskRun {
public:
    TaskRun(const TaskCopy& task, const DownloadSettings& settings, TaskState& state)
        : task_(task), settings_(settings), state_(state), address_(task.address),
          buffer_(kReceiveBufferSize) {}
    ~TaskRun() { removeTemporaryFile(); }

    TaskOutcome run();

private:
    Step attempt();
    std::optional<Step> readHead(TcpConnection& connection, std::string& head, std::string& bodyStart);
    Step acceptFirstAnswer(const AnswerHead& answer, TcpConnection& connection, std::string_view bodyStart);
    Step acceptResumeAnswer(const AnswerHead& answer, TcpConnection& connection, std::string_view bodyStart);
    bool createTarget(const AnswerHead& answer);
    Step receiveBody(TcpConnection& connection, std::string_view bodyStart);
    bool takeBody(const char* data, size_t size);
    Step complete();
    void removeTemporaryFile();

    Step end(TaskEnd how, const std::string& why) {
        say(why);
        outcome_.end = how;
        return Step::Done;
    }
    bool fail(TaskEnd how, const std::string& why) {
        end(how, why);
        return false;
    }
    Step networkFailure(NetResult why, const char* during) {
        say(std::string("network failure while ") + during + ": " + platform::toString(why));
        return Step::NetworkFailure;
    }
    void say(const std::string& line) {
        if (task_.messageRoutine) task_.messageRoutine(line);
    }
    bool stopped() const { return state_.stop->isCancelled(); }
    size_t blockSize() const { return static_cast<size_t>(task_.receiveBlockSize); }

    const TaskCopy& task_;
    const DownloadSettings& settings_;
    TaskState& state_;
    Address address_;
    std::vector<char> buffer_;
    int redirects_ = 0;
    std::string target_;         // the path asked for, before the free-name rule
    std::string temporaryPath_;  // set while a temporary file of ours exists
    std::optional<platform::File> file_;
    int64_t length_ = 0;         // the announced length
    int64_t have_ = 0;           // bytes [0, have_) are written
    int64_t counted_ = 0;        // body bytes received in all
    int64_t furthest_ = 0;       // the furthest byte ever written, over every attempt
    bool answered_ = false;      // this attempt got an answer and took its body
    bool progressed_ = false;    // this attempt wrote beyond furthest_
    int32_t fruitless_ = 0;      // answered attempts in a row that brought nothing new
    TaskOutcome outcome_;
};

TaskOutcome TaskRun::run() {
    if (address_.scheme != Scheme::Http) {
        end(TaskEnd::Unsupported, "only http addresses are fetched");
        return outcome_;
    }
    int32_t retriesLeft = settings_.retries;
    for (;;) {
        Step step = attempt();
        if (step == Step::Done) break;
        if (step == Step::Redirected) continue;
        if (stopped()) {
            end(TaskEnd::Stopped, "stopped");
            break;
        }
        if (answered_) fruitless_ = progressed_ ? 0 : fruitless_ + 1;
        if (fruitless_ >= kFruitlessRetryLimit) {
            end(TaskEnd::NoProgress, std::to_string(fruitless_) + " answers in a row brought no byte beyond " +
                                         std::to_string(furthest_));
            break;
        }
        if (retriesLeft <= 0) {
            end(TaskEnd::RetriesUsedUp, "no retries left");
            break;
        }
        --retriesLeft;
        say("retrying in " + std::to_string(settings_.retryWaitMs) + " ms (" +
            std::to_string(settings_.retries - retriesLeft) + " of " + std::to_string(settings_.retries) + ")");
        if (!state_.stop->sleep(settings_.retryWaitMs)) {
            end(TaskEnd::Stopped, "stopped");
            break;
        }
    }
    if (outcome_.end != TaskEnd::Completed) removeTemporaryFile();
    return outcome_;
}

Step TaskRun::attempt() {
    answered_ = progressed_ = false;
    say("connecting to " + address_.host);
    NetResult why = NetResult::Failed;
    std::optional<TcpConnection> connection = TcpConnection::connect(
        address_.hostName, address_.port, task_.connectTimeout, state_.stop, &why);
    if (!connection) return networkFailure(why, "connecting");

    std::optional<int64_t> rangeFrom;
    if (file_) rangeFrom = have_;
    why = connection->sendAll(buildRequest(address_, task_.referer, rangeFrom), task_.sendTimeout);
    if (why != NetResult::Ok) return networkFailure(why, "sending the request");

    std::string head, bodyStart;
    if (std::optional<Step> failed = readHead(*connection, head, bodyStart)) return *failed;
    std::optional<AnswerHead> answer = parseAnswerHead(head);
    if (!answer) return end(TaskEnd::Refused, "the answer is not HTTP");
    say("answer " + std::to_string(answer->status));
    return file_ ? acceptResumeAnswer(*answer, *connection, bodyStart)
                 : acceptFirstAnswer(*answer, *connection, bodyStart);
}

// Reads up to the blank line that ends the head; a step only when the attempt ends here.
std::optional<Step> TaskRun::readHead(TcpConnection& connection, std::string& head, std::string& bodyStart) {
    std::string received;
    for (;;) {
        size_t got = 0;
        NetResult why = connection.receive(buffer_.data(), blockSize(), task_.receiveTimeout, &got);
        if (why != NetResult::Ok) return networkFailure(why, "waiting for the answer");
        received.append(buffer_.data(), got);
        if (std::optional<size_t> headSize = headEnd(received)) {
            if (*headSize > kMaxHeadBytes) break;
            head = received.substr(0, *headSize);
            bodyStart = received.substr(*headSize);
            return std::nullopt;
        }
        if (received.size() >= kMaxHeadBytes) break;
    }
    return end(TaskEnd::Refused, "the answer's head is longer than " + std::to_string(kMaxHeadBytes) + " bytes");
}

Step TaskRun::acceptFirstAnswer(const AnswerHead& answer, TcpConnection& connection,
                                std::string_view bodyStart) {
    if (answer.status == 301 || answer.status == 302) {
        if (!answer.location) return end(TaskEnd::Refused, "a redirect without Location");
        std::optional<Address> next = followLocation(address_, *answer.location);
        if (!next) return end(TaskEnd::Refused, "a redirect that cannot be followed: " + *answer.location);
        if (++redirects_ > kMaxRedirects) return end(TaskEnd::Refused, "too many redirects");
        address_ = *next;
        say("redirected to " + address_.host + address_.path);
        return Step::Redirected;
    }
    if (answer.status != 200) return end(TaskEnd::Refused, "status " + std::to_string(answer.status));
    if (!answer.contentLength)
        return end(TaskEnd::Refused, answer.badLength ? "an unusable Content-Length" : "no Content-Length");
    length_ = *answer.contentLength;
    if (!createTarget(answer)) return Step::Done;
    state_.announced.store(static_cast<int32_t>(std::min<int64_t>(length_, INT32_MAX)));
    return receiveBody(connection, bodyStart);
}

Step TaskRun::acceptResumeAnswer(const AnswerHead& answer, TcpConnection& connection,
                                 std::string_view bodyStart) {
    if (answer.status == 206) {
        const std::optional<ContentRange>& range = answer.contentRange;
        bool matches = range && range->first == have_ && range->last == length_ - 1 &&
                       (range->total == -1 || range->total == length_) && !answer.badLength &&
                       (!answer.contentLength || *answer.contentLength == length_ - have_);
        if (!matches) return end(TaskEnd::Refused, "the resumed part does not fit the file");
        return receiveBody(connection, bodyStart);
    }
    // A server that ignores Range sends the whole file again: when it is the same length, it
    // is taken from its first byte, which leaves a consistent file.
    if (answer.status == 200 && answer.contentLength == length_) {
        say("the whole file is sent again; taking it from the start");
        have_ = 0;
        return receiveBody(connection, bodyStart);
    }
    return end(TaskEnd::Refused, "a resume answered with status " + std::to_string(answer.status));
}

bool TaskRun::createTarget(const AnswerHead& answer) {
    target_ = task_.localPath;
    if (endsWithSeparator(target_)) {
        std::optional<std::string> name = answer.dispositionName ? serverFileName(*answer.dispositionName)
                                                                 : fileNameFromPath(address_.path);
        if (!name) return fail(TaskEnd::NoTarget, "the server's file name is not a safe name");
        target_ += *name;
    }
    std::optional<std::string> chosen = chooseFreePath(target_, platform::pathExists);
    if (!chosen) return fail(TaskEnd::NoTarget, "no free name for " + target_);
    if (pathLength(*chosen) > kMaxTargetPathLength)
        return fail(TaskEnd::NoTarget, "the target path is too long: " + *chosen);

    const std::string folder(folderOf(target_));
    for (int tries = 0; tries < 16 && !file_; ++tries) {
        temporaryPath_ = folder + temporaryDownloadName();
        file_ = platform::File::open(temporaryPath_, platform::File::Mode::CreateNewTemporary);
    }
    if (!file_) {
        temporaryPath_.clear();
        return fail(TaskEnd::NoTarget, "cannot create a file in '" + folder + "'");
    }
    if (!file_->resize(length_)) return fail(TaskEnd::WriteFailed, "no room for the file");
    say("receiving " + std::to_string(length_) + " bytes for " + *chosen);
    return true;
}

Step TaskRun::receiveBody(TcpConnection& connection, std::string_view bodyStart) {
    answered_ = true;
    if (!takeBody(bodyStart.data(), bodyStart.size())) return end(TaskEnd::WriteFailed, "cannot write the file");
    while (have_ < length_) {
        size_t got = 0;
        NetResult why = connection.receive(buffer_.data(), blockSize(), task_.receiveTimeout, &got);
        // A close before the announced length is a failure like any other: resumed later.
        if (why != NetResult::Ok) return networkFailure(why, "receiving the body");
        if (!takeBody(buffer_.data(), got)) return end(TaskEnd::WriteFailed, "cannot write the file");
    }
    return complete();
}

// Writes the bytes at their offset; what goes beyond the announced length is dropped.
bool TaskRun::takeBody(const char* data, size_t size) {
    int64_t useful = std::min<int64_t>(static_cast<int64_t>(size), length_ - have_);
    if (useful <= 0) return true;
    if (!file_->writeAt(have_, data, useful)) return false;
    have_ += useful;
    counted_ += useful;
    if (have_ > furthest_) {
        furthest_ = have_;
        progressed_ = true;
    }
    state_.received.store(static_cast<int32_t>(std::min<int64_t>(counted_, INT32_MAX)));
    return true;
}

Step TaskRun::complete() {
    bool closed = file_->close();
    file_.reset();
    if (!closed) return end(TaskEnd::WriteFailed, "cannot write the file");
    // The temporary file was hidden; the final one is a plain file.
    platform::setNormalAttributes(temporaryPath_);
    // The name is chosen again: a file may have appeared under it meanwhile.
    for (int tries = 0; tries < 8; ++tries) {
        std::optional<std::string> chosen = chooseFreePath(target_, platform::pathExists);
        if (!chosen) return end(TaskEnd::NoTarget, "no free name for " + target_);
        if (pathLength(*chosen) > kMaxTargetPathLength)
            return end(TaskEnd::NoTarget, "the target path is too long: " + *chosen);
        if (platform::renameNoReplace(temporaryPath_, *chosen)) {
            temporaryPath_.clear();
            outcome_.path = *chosen;
            return end(TaskEnd::Completed, "saved as " + *chosen);
        }
        if (!platform::pathExists(*chosen)) break;
    }
    return end(TaskEnd::WriteFailed, "cannot rename the file to its final name");
}

void TaskRun::removeTemporaryFile() {
    file_.reset();
    if (temporaryPath_.empty()) return;
    // On Windows a reader that has the file open (a virus scanner) makes the delete fail for a
    // moment; a few tries keep the folder clean.
    for (int tries = 0; tries < 10 && !platform::deleteFile(temporaryPath_); ++tries) {
        if (!platform::pathExists(temporaryPath_)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    temporaryPath_.clear();
}

}  // namespace

TaskOutcome runTask(const TaskCopy& task, const DownloadSettings& settings, TaskState& state) {
    TaskRun run(task, settings, state);
    return run.run();
}

}  // namespace tovren::fetch
