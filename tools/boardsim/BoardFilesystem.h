#pragma once

#include "boardsim/BoardState.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

struct fuse_pollhandle;

namespace boardsim {

/**
 * The FUSE glue: serves a BoardState through libfuse's high-level API. Every entry point, the
 * FUSE operations as well as control() and tick() from other threads, takes the one lock, and
 * after anything that may have changed a line it wakes the pollers whose edge is now pending.
 */
class BoardFilesystem {
public:
    explicit BoardFilesystem(BoardState& board);
    ~BoardFilesystem();
    BoardFilesystem(const BoardFilesystem&) = delete;
    BoardFilesystem& operator=(const BoardFilesystem&) = delete;

    /**
     * Mounts on mountPoint and serves until SIGINT, SIGTERM or SIGHUP; `started` runs once the
     * mount is in place, `stopping` after the loop ends and before the unmount. Returns the exit
     * status for main.
     */
    int run(const std::string& mountPoint, bool debug, const std::function<void()>& started,
            const std::function<void()>& stopping);

    /** One control command (see ControlInterpreter); the answer text. */
    std::string control(const std::string& line);
    /** Advances the time-driven parts of the board. */
    void tick();

private:
    friend struct FuseOperations;

    void wakePollers();
    void dropPoller(std::int64_t handle);

    BoardState& board;
    std::mutex mutex;
    std::map<std::int64_t, fuse_pollhandle*> pollers;
};

} // namespace boardsim
