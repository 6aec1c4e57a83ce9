#include "quarn-bus/PosixFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarn_bus {

namespace {

std::string describeErrno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

PosixFile::PosixFile(int descriptor, bool owned)
    : descriptor_(descriptor)
    , owned_(owned) {}

PosixFile::~PosixFile() {
    close();
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : descriptor_(other.descriptor_)
    , owned_(other.owned_) {
    other.descriptor_ = -1;
    other.owned_ = false;
}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = other.descriptor_;
        owned_ = other.owned_;
        other.descriptor_ = -1;
        other.owned_ = false;
    }
    return *this;
}

void PosixFile::close() {
    if (descriptor_ >= 0 && owned_) {
        ::close(descriptor_);
    }
    descriptor_ = -1;
    owned_ = false;
}

bool PosixFile::openControlPipe(const std::string& path, PosixFile& reader, PosixFile& keepWriter,
                                bool& created, std::string& error) {
    created = false;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT) {
            error = describeErrno("cannot examine " + path);
            return false;
        }
        if (::mkfifo(path.c_str(), 0600) != 0) {
            error = describeErrno("cannot create the named pipe " + path);
            return false;
        }
        created = true;
    } else if (!S_ISFIFO(status.st_mode)) {
        error = path + " is not a named pipe";
        return false;
    }
    const int readEnd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (readEnd < 0) {
        error = describeErrno("cannot open " + path);
        return false;
    }
    reader = PosixFile(readEnd, true);
    // With a reader present this open cannot wait.
    const int writeEnd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writeEnd < 0) {
        error = describeErrno("cannot open " + path + " for writing");
        reader.close();
        return false;
    }
    keepWriter = PosixFile(writeEnd, true);
    return true;
}

bool PosixFile::makePipe(PosixFile& readEnd, PosixFile& writeEnd, std::string& error) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = describeErrno("cannot create a pipe");
        return false;
    }
    readEnd = PosixFile(ends[0], true);
    writeEnd = PosixFile(ends[1], true);
    return true;
}

void PosixFile::removeFile(const std::string& path) {
    ::unlink(path.c_str());
}

void PosixFile::withStandardOutputSilenced(const std::function<void()>& work) {
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool redirected = saved >= 0 && null >= 0 && ::dup2(null, STDOUT_FILENO) >= 0;
    if (null >= 0) {
        ::close(null);
    }
    struct Restore {
        int saved;
        bool redirected;
        ~Restore() {
            std::fflush(stdout);
            if (redirected) {
                ::dup2(saved, STDOUT_FILENO);
            }
            if (saved >= 0) {
                ::close(saved);
            }
        }
    } restore{saved, redirected};
    work();
}

void PosixFile::writeByteFromSignalHandler(int descriptor, unsigned char byte) {
    const int savedErrno = errno;
    // A full pipe already holds a pending signal; losing this byte loses nothing.
    const ssize_t ignored = ::write(descriptor, &byte, 1);
    (void)ignored;
    errno = savedErrno;
}

ssize_t PosixFile::read(char* buffer, std::size_t size) const {
    ssize_t result;
    do {
        result = ::read(descriptor_, buffer, size);
    } while (result < 0 && errno == EINTR);
    return result;
}

} // namespace quarn_bus
