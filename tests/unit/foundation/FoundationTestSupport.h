#pragma once

// Temporary directories, files, locks seen from another thread and child processes for the
// foundation tests.

#include "foundation/Lockable.h"
#include "support/EventLoop.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

namespace foundation_test {

// A private temporary directory, removed with the object; path(name) names a file inside it.
using TempDir = testsupport::TempEndpoints;

inline std::string readFile(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline size_t countOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

inline std::string banner(const std::string& path) {
    return "\n*\n* Process writing to " + path + " was restarted\n*\n\n";
}

// Whether another thread could take the lock right now (it lets go again at once).
inline bool otherThreadCanLock(thread::Lockable& lock) {
    return std::async(std::launch::async, [&lock] { return lock.tryLock() && lock.unlock() == 0; })
        .get();
}

struct ChildResult {
    int status = -1; // as std::system reports it
    std::string out;
    std::string err;
};

// Runs the logging child program with exactly the given environment (nothing is inherited but
// the sanitizer options), its standard output and error going to files under workDir. A child
// that hangs is killed after 20 s.
inline ChildResult runLogChild(const std::string& arguments, std::vector<std::string> environment,
                               const std::string& workDir) {
    for (const char* passed : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(passed)) {
            environment.push_back(std::string(passed) + "=" + value);
        }
    }
    // A child that aborts on purpose leaves no core file behind.
    std::string command = "ulimit -c 0; timeout 20 env -i";
    for (const std::string& variable : environment) {
        command += " '" + variable + "'";
    }
    command += " " + std::string(QUARN_TESTS_EMULATOR " " FOUNDATION_LOG_CHILD) + " " + arguments +
               " >" + workDir + "/child.out 2>" + workDir + "/child.err";
    ChildResult result;
    result.status = std::system(command.c_str());
    result.out = readFile(workDir + "/child.out");
    result.err = readFile(workDir + "/child.err");
    return result;
}

} // namespace foundation_test
