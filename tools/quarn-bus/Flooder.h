#pragma once

#include <QByteArray>

#include <string>

namespace quarn_bus {

// Sends a stream of frames that no server should act on, as fast as possible and never
// waiting: frames of 0 to 7 bytes (cut-off headers), unknown identifiers, and battery requests
// from origins that have no response channel towards the power manager. None of them asks for
// anything with an effect (no power-down).
class Flooder {
public:
    struct Result {
        int sent = 0;
        int wouldBlock = 0;
    };

    // Frame number `index` of the repeating pattern.
    static QByteArray frameAt(int index);
    static int patternLength();

    // Throws zmq::error_t for an address ZeroMQ refuses. Frames still queued at the end are
    // given a second to go out before the socket closes.
    static Result flood(const std::string& requestsAddress, int count);
};

} // namespace quarn_bus
