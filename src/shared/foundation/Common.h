#pragma once

namespace quarn {

// Directories of the instrument's data partition, shared by every process.
struct Common {
    // Mount point of the data partition.
    static constexpr const char* BASE_DIR = "/var/lib/quarn/";
    // One sub-directory per logging session, named by the session.
    static constexpr const char* SESSION_DIR = "/var/lib/quarn/sessions/";
    // Settings files shared between processes, the file-index counter among them.
    static constexpr const char* CONFIG_DIR = "/var/lib/quarn/config.d/";
    static constexpr const char* LOG_DIR = "/var/lib/quarn/log/";
};

} // namespace quarn
