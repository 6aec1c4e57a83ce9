#pragma once

// A hardware layer for tests, installed as hal::HwAbstractionLayer::instance() while it lives. It
// records the calls on the five lines in order, keeps the lines as plain integers, and scripts the
// power button: each waitForPowerButton blocks until the test pushes a result, its time-out passes
// or stop() is called. The flash and buzzer operations do nothing (the flash ones fail).
//
//     testsupport::FakeHwAbstractionLayer fake;
//     fake.pushPowerButtonValue(0);        // the confirmation read after the edge sees "pressed"
//     fake.pushPowerButtonResult(true);    // the pending (or next) wait reports an edge
//
// Thread-safe: the button watcher thread and the main thread may use it at once.

#include "hal/HwAbstractionLayer.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class FakeHwAbstractionLayer : public hal::HwAbstractionLayer {
public:
    FakeHwAbstractionLayer() { setInstance(this); }
    ~FakeHwAbstractionLayer() override { setInstance(nullptr); }

    // The pending wait, or the next one, returns edgeSeen; results are consumed in push order.
    void pushPowerButtonResult(bool edgeSeen) {
        std::lock_guard<std::mutex> guard(mutex_);
        waitResults_.push_back(edgeSeen);
        changed_.notify_all();
    }

    // Every current and later wait returns false (queued results first), each after a pause long
    // enough that a loop around it does not spin a core.
    void stop() {
        std::lock_guard<std::mutex> guard(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

    // One-shot values for the next getPowerButton calls, in push order; 1 (released) after them.
    void pushPowerButtonValue(int value) {
        std::lock_guard<std::mutex> guard(mutex_);
        buttonValues_.push_back(value);
    }

    // Every call in order, as "name(arguments)": "setLed1(1)", "getLed1()", "toggleLed2()",
    // "waitForPowerButton(10000)", "getPowerButton()".
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls_;
    }

    std::size_t countCalls(const std::string& call) const {
        const std::vector<std::string> all = calls();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), call));
    }

    void clearCalls() {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.clear();
    }

    bool updateDSPflash(QString) override { return false; }
    bool checkDSPflash(QString) override { return false; }
    bool readDSPflash(QString) override { return false; }
    bool eraseDSPflash() override { return false; }
    void playLongBeep() override {}
    void playClick() override {}
    void playDoubleBeep() override {}

    bool waitForPowerButton(unsigned int timeoutSeconds) override {
        std::unique_lock<std::mutex> lock(mutex_);
        calls_.push_back("waitForPowerButton(" + std::to_string(timeoutSeconds) + ")");
        changed_.wait_for(lock, std::chrono::seconds(timeoutSeconds),
                          [this] { return !waitResults_.empty() || stopped_; });
        if (!waitResults_.empty()) {
            const bool result = waitResults_.front();
            waitResults_.pop_front();
            return result;
        }
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return false;
    }

    int getPowerButton() override {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back("getPowerButton()");
        const int value = buttonValues_.empty() ? 1 : buttonValues_.front();
        if (!buttonValues_.empty()) {
            buttonValues_.pop_front();
        }
        return value;
    }

    void setDspRunLine(int value) override { use(DSP_RUN, "setDspRunLine", value); }
    int getDspRunLine() override { return use(DSP_RUN, "getDspRunLine"); }
    void setSpareLine(int value) override { use(SPARE, "setSpareLine", value); }
    int getSpareLine() override { return use(SPARE, "getSpareLine"); }
    void setLed1(int value) override { use(LED1, "setLed1", value); }
    int getLed1() override { return use(LED1, "getLed1"); }
    void toggleLed1() override { use(LED1, "toggleLed1", TOGGLE); }
    void setLed2(int value) override { use(LED2, "setLed2", value); }
    int getLed2() override { return use(LED2, "getLed2"); }
    void toggleLed2() override { use(LED2, "toggleLed2", TOGGLE); }
    void cancelPowerButtonWait() override { stop(); }

private:
    enum Line { DSP_RUN, SPARE, LED1, LED2 };
    static constexpr int READ = -1;
    static constexpr int TOGGLE = -2;

    // Records "name(value)" for a set, "name()" for a read or a toggle (the product's
    // (value + 1) % 2), and returns the line's value afterwards.
    int use(Line line, const char* name, int value = READ) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(std::string(name) + "(" + (value >= 0 ? std::to_string(value) : "") + ")");
        if (value != READ) {
            lines_[line] = value == TOGGLE ? (lines_[line] + 1) % 2 : value;
        }
        return lines_[line];
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::deque<bool> waitResults_;
    std::deque<int> buttonValues_;
    int lines_[4] = {};
    bool stopped_ = false;
};

} // namespace testsupport
