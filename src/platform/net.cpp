#include "platform/net.h"

namespace tovren::platform {

const char* toString(NetResult result) {
    switch (result) {
        case NetResult::Ok: return "ok";
        case NetResult::Closed: return "closed by the peer";
        case NetResult::TimedOut: return "timed out";
        case NetResult::Cancelled: return "cancelled";
        case NetResult::Failed: return "failed";
    }
    return "?";
}

}  // namespace tovren::platform
