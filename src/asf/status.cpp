#include "asf/status.h"

namespace asf {

const char* statusText(Status status) {
    switch (status) {
        case Status::Ok:
            return "ok";
        case Status::NotAsf:
            return "not an ASF file";
        case Status::Truncated:
            return "truncated";
        case Status::Malformed:
            return "malformed";
        case Status::Protected:
            return "protected content";
        case Status::Unsupported:
            return "unsupported";
        case Status::IoError:
            return "input/output error";
    }
    return "unknown status";
}

}  // namespace asf
