#include "platform/files.h"

namespace tovren::platform {

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
