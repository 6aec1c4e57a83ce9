#pragma once

// Records the log events of a test: attached to the root logger while it lives.

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>
#include <log4cplus/spi/loggingevent.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

struct LogEvent {
    std::string logger;
    log4cplus::LogLevel level;
    std::string message;
};

class LogCapture {
public:
    LogCapture()
        : appender_(new Recorder(*this)) {
        appender_->setName("TEST_CAPTURE");
        log4cplus::Logger::getRoot().addAppender(appender_);
    }
    ~LogCapture() { log4cplus::Logger::getRoot().removeAppender(appender_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogEvent> events() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return events_;
    }

    // Messages with their "[seconds sec] - " prefix removed, optionally of one logger only and
    // of one level only.
    std::vector<std::string>
    messages(const std::string& logger = std::string(),
             log4cplus::LogLevel level = log4cplus::NOT_SET_LOG_LEVEL) const {
        std::vector<std::string> result;
        for (const LogEvent& event : events()) {
            if ((logger.empty() || event.logger == logger) &&
                (level == log4cplus::NOT_SET_LOG_LEVEL || event.level == level)) {
                result.push_back(stripPrefix(event.message));
            }
        }
        return result;
    }

    // The messages as "LEVEL text", with log4cplus's name of the level, optionally of one logger
    // only: a line and its level compared in one go.
    std::vector<std::string> withLevels(const std::string& logger = std::string()) const {
        std::vector<std::string> result;
        for (const LogEvent& event : events()) {
            if (logger.empty() || event.logger == logger) {
                result.push_back(log4cplus::getLogLevelManager().toString(event.level) + " " +
                                 stripPrefix(event.message));
            }
        }
        return result;
    }

    size_t count(const std::string& messageText) const {
        const std::vector<std::string> all = messages();
        return static_cast<size_t>(std::count(all.begin(), all.end(), messageText));
    }

    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        events_.clear();
    }

    static std::string stripPrefix(const std::string& message) {
        const std::string::size_type mark = message.find(" sec] - ");
        return mark == std::string::npos ? message : message.substr(mark + 8);
    }

private:
    class Recorder : public log4cplus::Appender {
    public:
        explicit Recorder(LogCapture& owner)
            : owner_(owner) {}
        ~Recorder() override { destructorImpl(); }
        void close() override {}

    protected:
        void append(const log4cplus::spi::InternalLoggingEvent& event) override {
            std::lock_guard<std::mutex> guard(owner_.mutex_);
            owner_.events_.push_back(
                {event.getLoggerName(), event.getLogLevel(), event.getMessage()});
        }

    private:
        LogCapture& owner_;
    };

    mutable std::mutex mutex_;
    std::vector<LogEvent> events_;
    log4cplus::SharedAppenderPtr appender_;
};

} // namespace testsupport
