#pragma once

// Temporary directories, file reading and child processes for the foundation tests.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace foundation_test {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/foundation-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

inline size_t countOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

inline std::string banner(const std::string& path) {
    return "\n*\n* Process writing to " + path + " was restarted\n*\n\n";
}

struct ChildResult {
    pid_t pid = -1;
    int status = -1;
    bool timedOut = false;
    std::string out;
    std::string err;

    bool exitedCleanly() const {
        return !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

// Runs the logging child program with exactly the given environment (nothing is inherited but
// the sanitizer options), capturing its standard output and error in files under workDir.
inline ChildResult runLogChild(const std::vector<std::string>& arguments,
                               std::vector<std::string> environment, const std::string& workDir) {
    static int runNumber = 0;
    const std::string base = workDir + "/run" + std::to_string(++runNumber);
    const std::string outPath = base + ".out";
    const std::string errPath = base + ".err";
    for (const char* passed : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(passed)) {
            environment.push_back(std::string(passed) + "=" + value);
        }
    }

    std::vector<std::string> argumentStrings{FOUNDATION_LOG_CHILD};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentStrings) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    ChildResult result;
    result.pid = ::fork();
    if (result.pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        // A child that aborts on purpose leaves no core file behind.
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }

    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (::waitpid(result.pid, &result.status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > giveUp) {
            result.timedOut = true;
            ::kill(result.pid, SIGKILL);
            ::waitpid(result.pid, &result.status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

} // namespace foundation_test
