// What one read of a line brought.
#pragma once

namespace dkq::platform {

enum class ReceiveStatus { Data, PeerClosed, NothingYet, Failed };

struct ReceiveResult {
    ReceiveStatus status;
    int count = 0;  // bytes stored when status is Data
    int error = 0;  // platform error code when status is Failed
};

}  // namespace dkq::platform
