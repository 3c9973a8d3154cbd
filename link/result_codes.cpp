#include "link/result_codes.h"

#include <iterator>

namespace dkq {

const char* codeMeaning(CodeKind kind, int code) {
    if (kind == CodeKind::Open) {
        switch (code) {
            case open::Ok:
                return "opened";
            case open::PortFailed:
                return "serial port could not be opened";
            case open::ConnectTimeout:
                return "no TCP connection";
            case open::NetworkFailed:
                return "socket library could not be started";
            case open::SocketFailed:
                return "socket could not be created";
            case open::IoctlFailed:
                return "socket could not be made non-blocking";
            default:
                return "unknown open code";
        }
    }
    switch (code) {
        case tx::Ok:
            return "success";
        case tx::NoAnswer:
            return "no answer within the time-out";
        case tx::BadLength:
            return "wrong answer length or header";
        case tx::PeerClosed:
            return "peer closed the connection";
        case tx::ReceiveError:
            return "receive error";
        case tx::SendFailed:
            return "send failed";
        case tx::NoFrameStart:
            return "no frame start ':' in the answer";
        case tx::LrcError:
            return "LRC error or malformed frame";
        case tx::LineDead:
            return "no answer for the 11th time in a row";
        case tx::NotOpen:
            return "link not open";
        default:
            return "unknown transaction code";
    }
}

const char* exceptionMeaning(int exception) {
    static constexpr const char* kNames[] = {"",
                                             "illegal function",
                                             "illegal data address",
                                             "illegal data value",
                                             "server device failure",
                                             "acknowledge",
                                             "server device busy",
                                             "",
                                             "memory parity error",
                                             "",
                                             "gateway path unavailable",
                                             "gateway target device failed to respond"};
    const bool named = exception > 0 && exception < static_cast<int>(std::size(kNames)) &&
                       *kNames[exception] != '\0';
    return named ? kNames[exception] : "unknown exception";
}

}  // namespace dkq
