#pragma once

// The tool's one way to the POSIX file calls (open, read, write, pipe, mkfifo, unlink): an
// owned or borrowed descriptor that closes itself.

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

namespace quarn_bus {

class PosixFile {
public:
    PosixFile() = default;
    // owned: closed by the destructor. Standard input is borrowed, never closed.
    PosixFile(int descriptor, bool owned);
    ~PosixFile();
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    // Opens the named pipe for reading without waiting for a writer, creating it if it does not
    // exist (created set then). A write end is kept open as well (keepWriter) so that the pipe
    // never reads end-of-file when a writing script closes: every later writer is read too.
    static bool openControlPipe(const std::string& path, PosixFile& reader, PosixFile& keepWriter,
                                bool& created, std::string& error);
    // A non-blocking pipe whose descriptors close on exec.
    static bool makePipe(PosixFile& readEnd, PosixFile& writeEnd, std::string& error);
    static void removeFile(const std::string& path);

    // Runs work with standard output pointed at /dev/null, for code that prints there
    // unasked; standard output is put back afterwards whatever happens.
    static void withStandardOutputSilenced(const std::function<void()>& work);

    // Writes one byte to a descriptor; async-signal-safe, for signal handlers. errno is kept.
    static void writeByteFromSignalHandler(int descriptor, unsigned char byte);

    // read(2), retried on EINTR: bytes read, 0 at end of file, -1 on error (errno kept).
    ssize_t read(char* buffer, std::size_t size) const;

    int descriptor() const { return descriptor_; }
    bool isOpen() const { return descriptor_ >= 0; }
    void close();

private:
    int descriptor_ = -1;
    bool owned_ = false;
};

} // namespace quarn_bus
