// Any bytes as quarn-bus's command line (words separated by NUL) and as the control input of
// its dsp-manager role (read from a pipe as it comes): a parse either succeeds or says why not,
// and every control line is a command or an invalid line that says why.

#include "FuzzLogging.h"
#include "foundation/FileDescriptor.h"

#include "quarn-bus/CommandLine.h"
#include "quarn-bus/ControlCommand.h"
#include "quarn-bus/ControlInput.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void check(const quarn_bus::ControlCommand& command) {
    using quarn_bus::ControlCommand;
    if ((command.kind == ControlCommand::Invalid) == command.error.empty() ||
        (command.kind == ControlCommand::Session && (command.value < 0 || command.value > 3)) ||
        (command.kind == ControlCommand::PowerButtonFlag && command.value != 0 &&
         command.value != 1)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    silenceLogging();
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    for (std::size_t begin = 0; begin <= bytes.size();) {
        const std::size_t end = std::min(bytes.find('\0', begin), bytes.size());
        words.push_back(bytes.substr(begin, end - begin));
        begin = end + 1;
    }
    const quarn_bus::ParseResult parsed = quarn_bus::parseCommandLine(words);
    if (parsed.ok != parsed.error.empty()) {
        std::abort();
    }

    // The pipe does not block: an input beyond its 64 KiB would not fit in one write.
    if (size > 65536) {
        return 0;
    }
    shared::FileDescriptor readEnd, writeEnd;
    if (!shared::FileDescriptor::openPipe(readEnd, writeEnd) ||
        ::write(writeEnd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    writeEnd.close();
    quarn_bus::ControlInput input(std::move(readEnd));
    bool closed = false;
    QObject::connect(&input, &quarn_bus::ControlInput::lineReceived, [](const std::string& line) {
        if (line.size() > quarn_bus::ControlInput::MAX_LINE_LENGTH) {
            std::abort();
        }
        check(quarn_bus::parseControlCommand(line));
    });
    QObject::connect(&input, &quarn_bus::ControlInput::closed, [&closed] { closed = true; });
    while (!closed) {
        QCoreApplication::processEvents();
    }
    return 0;
}
