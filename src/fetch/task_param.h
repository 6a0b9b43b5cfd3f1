#pragma once
// The one download-task record. The program fills it with the defaults below once, then sets
// url and localPath before each fetch; addTask copies it, so it may change again at once.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tovren::fetch {

// Progress and error lines of the service; the program sets none.
using MessageRoutine = std::function<void(std::string_view line)>;
// Task events; the program sets none (then an existing target gets a free "(k)" name).
using EventRoutine = std::function<int32_t(int32_t event, std::string_view path)>;

struct TaskParam {
    int32_t options = 1;                 // FTP upload option bits; no effect on a download
    std::string url;                     // source address
    std::string localPath;               // target file, or a folder when it ends in "\"
    std::string userName = "anonymous";  // FTP login; HTTP ignores it
    std::string password = "student@tovren.invalid";  // FTP password; HTTP ignores it
    int32_t connectionCount = 1;                      // parallel connections per file
    int32_t speedLimit = 0;                           // bytes per second, 0 = no limit
    int32_t connectTimeout = 20000;                   // ms
    int32_t sendTimeout = 20000;                      // ms
    int32_t receiveTimeout = 20000;                   // ms, longest silence while waiting for bytes
    int32_t stopWait = 1000;                          // ms a stop waits for the connections to end
    int32_t receiveBlockSize = 20480;  // bytes per receive, at most the 20480-byte buffer
    int32_t sendBlockSize = 1024;      // uploads only
    MessageRoutine messageRoutine;     // none
    EventRoutine eventRoutine;         // none
    std::string uploadName;            // uploads only
    int32_t ftpTransferType = 1;       // FTP: 1 binary, 2 text, 3 by extension
    std::string binaryExtensions = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
    std::string proxy;    // host[:port]; empty = direct
    std::string referer;  // empty = url up to its last "/"
};

// What the window code needs of the download service. The real one is Download (download.h);
// tests may give the handlers a scripted one.
class Downloader {
  public:
    virtual ~Downloader() = default;
    // Starts the task on threads of its own and returns at once; false (changing nothing) when
    // a task still runs, the url is refused, or no thread can be had.
    virtual bool addTask(const TaskParam& param) = 0;
    // Body bytes the running task has received; 0 when no task runs or none has arrived yet.
    virtual int32_t receivedBytes() const = 0;
    // The Content-Length the running task's answer announced; 0 when no task runs or no answer
    // has been accepted yet.
    virtual int32_t announcedLength() const = 0;
};

}  // namespace tovren::fetch
