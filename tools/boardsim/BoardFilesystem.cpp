#define FUSE_USE_VERSION 35

#include "boardsim/BoardFilesystem.h"

#include "boardsim/ControlInterpreter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fuse.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace boardsim {

namespace {

// Attribute files claim a page like sysfs; with direct_io the size never limits a read.
const off_t ATTRIBUTE_SIZE = 4096;
const std::time_t START_TIME = std::time(nullptr);

} // namespace

struct FuseOperations {
    static BoardFilesystem& self() {
        return *static_cast<BoardFilesystem*>(fuse_get_context()->private_data);
    }

    static void* init(fuse_conn_info* connection, fuse_config* config) {
        (void)connection;
        // Lines come and go with export and unexport, and values change behind the kernel's
        // back: nothing may be cached, and every read and write must reach us.
        config->entry_timeout = 0;
        config->negative_timeout = 0;
        config->attr_timeout = 0;
        config->direct_io = 1;
        config->kernel_cache = 0;
        config->hard_remove = 1;
        return fuse_get_context()->private_data;
    }

    static int getattr(const char* path, struct stat* status, fuse_file_info*) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        const BoardState::Node node = fs.board.lookup(path);
        if (node.kind == BoardState::NodeKind::Missing)
            return -ENOENT;
        std::memset(status, 0, sizeof *status);
        const bool directory = node.kind == BoardState::NodeKind::Directory;
        status->st_mode = (directory ? S_IFDIR : S_IFREG) | node.mode;
        status->st_nlink = directory ? 2 : 1;
        status->st_size = directory ? 0 : ATTRIBUTE_SIZE;
        status->st_blksize = ATTRIBUTE_SIZE;
        status->st_atime = status->st_mtime = status->st_ctime = START_TIME;
        return 0;
    }

    static int readdir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t,
                       fuse_file_info*, fuse_readdir_flags) {
        std::vector<std::string> names;
        {
            BoardFilesystem& fs = self();
            std::lock_guard<std::mutex> lock(fs.mutex);
            const BoardState::Node node = fs.board.lookup(path);
            if (node.kind == BoardState::NodeKind::Missing)
                return -ENOENT;
            if (node.kind != BoardState::NodeKind::Directory)
                return -ENOTDIR;
            names = fs.board.list(path);
        }
        const auto noFlags = static_cast<fuse_fill_dir_flags>(0);
        filler(buffer, ".", nullptr, 0, noFlags);
        filler(buffer, "..", nullptr, 0, noFlags);
        for (const std::string& name : names)
            filler(buffer, name.c_str(), nullptr, 0, noFlags);
        return 0;
    }

    static int open(const char* path, fuse_file_info* info) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        const int access = info->flags & O_ACCMODE;
        const std::int64_t handle = fs.board.open(path, access != O_WRONLY, access != O_RDONLY);
        if (handle < 0)
            return static_cast<int>(handle);
        info->fh = static_cast<std::uint64_t>(handle);
        // Seekable on purpose: readers rewind the value file and read it again.
        info->direct_io = 1;
        info->keep_cache = 0;
        info->nonseekable = 0;
        return 0;
    }

    // Creating files in sysfs directories is refused with EACCES.
    static int create(const char*, mode_t, fuse_file_info*) { return -EACCES; }

    static int read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        std::string content;
        const int result = fs.board.read(static_cast<std::int64_t>(info->fh), content);
        if (result < 0)
            return result;
        if (offset < 0 || static_cast<std::size_t>(offset) >= content.size())
            return 0;
        const std::size_t count = std::min(size, content.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, content.data() + offset, count);
        return static_cast<int>(count);
    }

    static int write(const char*, const char* buffer, size_t size, off_t, fuse_file_info* info) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        const int result =
            fs.board.write(static_cast<std::int64_t>(info->fh), std::string(buffer, size));
        fs.wakePollers();
        return result < 0 ? result : static_cast<int>(size);
    }

    // Only restricted ioctls reach a FUSE file: the kernel copies in as many bytes as the request
    // code's size field gives, which is all the buzzer's fixed-size requests need.
    static int ioctl(const char*, unsigned int request, void*, fuse_file_info* info, unsigned int,
                     void* data) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        const std::size_t size = (_IOC_DIR(request) & _IOC_WRITE) != 0 ? _IOC_SIZE(request) : 0;
        const std::string argument(static_cast<const char*>(data), data != nullptr ? size : 0);
        return fs.board.ioctl(static_cast<std::int64_t>(info->fh), request, argument);
    }

    static int truncate(const char* path, off_t, fuse_file_info*) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        return fs.board.truncate(path);
    }

    static int release(const char*, fuse_file_info* info) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        const auto handle = static_cast<std::int64_t>(info->fh);
        fs.board.close(handle);
        fs.dropPoller(handle);
        return 0;
    }

    static int poll(const char*, fuse_file_info* info, fuse_pollhandle* pollHandle,
                    unsigned* events) {
        BoardFilesystem& fs = self();
        std::lock_guard<std::mutex> lock(fs.mutex);
        const auto handle = static_cast<std::int64_t>(info->fh);
        *events = fs.board.poll(handle);
        if (pollHandle != nullptr) {
            fs.dropPoller(handle);
            // With an edge already pending the caller returns at once and waits for nothing.
            if (fs.board.edgePending(handle))
                fuse_pollhandle_destroy(pollHandle);
            else
                fs.pollers[handle] = pollHandle;
        }
        return 0;
    }
};

BoardFilesystem::BoardFilesystem(BoardState& board)
    : board(board) {}

BoardFilesystem::~BoardFilesystem() {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& entry : pollers)
        fuse_pollhandle_destroy(entry.second);
    pollers.clear();
}

void BoardFilesystem::dropPoller(std::int64_t handle) {
    const auto found = pollers.find(handle);
    if (found == pollers.end())
        return;
    fuse_pollhandle_destroy(found->second);
    pollers.erase(found);
}

void BoardFilesystem::wakePollers() {
    for (auto entry = pollers.begin(); entry != pollers.end();) {
        if (board.edgePending(entry->first)) {
            fuse_notify_poll(entry->second);
            fuse_pollhandle_destroy(entry->second);
            entry = pollers.erase(entry);
        } else {
            ++entry;
        }
    }
}

std::string BoardFilesystem::control(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    ControlInterpreter interpreter(board);
    const std::string answer = interpreter.execute(line);
    wakePollers();
    return answer;
}

void BoardFilesystem::tick() {
    std::lock_guard<std::mutex> lock(mutex);
    board.advance();
    wakePollers();
}

int BoardFilesystem::run(const std::string& mountPoint, bool debug,
                         const std::function<void()>& started,
                         const std::function<void()>& stopping) {
    fuse_operations operations;
    std::memset(&operations, 0, sizeof operations);
    operations.init = &FuseOperations::init;
    operations.getattr = &FuseOperations::getattr;
    operations.readdir = &FuseOperations::readdir;
    operations.open = &FuseOperations::open;
    operations.create = &FuseOperations::create;
    operations.read = &FuseOperations::read;
    operations.write = &FuseOperations::write;
    operations.truncate = &FuseOperations::truncate;
    operations.release = &FuseOperations::release;
    operations.poll = &FuseOperations::poll;
    operations.ioctl = &FuseOperations::ioctl;

    std::vector<std::string> arguments = {"boardsim", "-o", "fsname=boardsim", "-o",
                                          "subtype=boardsim"};
    // Root may let every user of the namespace in; anyone else would need fuse.conf's consent.
    if (geteuid() == 0) {
        arguments.push_back("-o");
        arguments.push_back("allow_other");
    }
    if (debug)
        arguments.push_back("-d");
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    for (const std::string& argument : arguments)
        fuse_opt_add_arg(&args, argument.c_str());

    fuse* session = fuse_new(&args, &operations, sizeof operations, this);
    fuse_opt_free_args(&args);
    if (session == nullptr) {
        std::fprintf(stderr, "boardsim: cannot create the file system\n");
        return 1;
    }
    if (fuse_mount(session, mountPoint.c_str()) != 0) {
        std::fprintf(stderr, "boardsim: cannot mount on %s\n", mountPoint.c_str());
        fuse_destroy(session);
        return 1;
    }
    fuse_session* lowLevel = fuse_get_session(session);
    if (fuse_set_signal_handlers(lowLevel) != 0) {
        fuse_unmount(session);
        fuse_destroy(session);
        return 1;
    }
    started();
    const int result = fuse_loop(session);
    stopping();
    fuse_remove_signal_handlers(lowLevel);
    fuse_unmount(session);
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& entry : pollers)
            fuse_pollhandle_destroy(entry.second);
        pollers.clear();
    }
    fuse_destroy(session);
    // A positive result is the signal that ended the loop: a normal stop.
    return result < 0 ? 1 : 0;
}

} // namespace boardsim
