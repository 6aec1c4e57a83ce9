#pragma once

// A hardware layer for tests. It records every call in order, keeps the five lines as plain
// integers, and scripts the power button: each waitForPowerButton blocks until the test pushes a
// result, its time-out passes or stop() is called.
//
//     testsupport::FakeHwAbstractionLayer fake;
//     fake.install();                      // hal::HwAbstractionLayer::instance() is now the fake
//     fake.pushPowerButtonValue(0);        // the confirmation read after the edge sees "pressed"
//     fake.pushPowerButtonResult(true);    // the pending (or next) wait reports an edge
//
// Thread-safe: the button watcher thread and the main thread may use it at once.

#include "hal/HwAbstractionLayer.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class FakeHwAbstractionLayer : public hal::HwAbstractionLayer {
public:
    // How long a wait takes once stop() (or cancelPowerButtonWait) was called: long enough that
    // a loop around it does not spin a core.
    static constexpr std::chrono::milliseconds STOPPED_WAIT_PAUSE{10};

    ~FakeHwAbstractionLayer() override {
        stop();
        if (installed_) {
            hal::HwAbstractionLayer::setInstance(nullptr);
        }
    }

    // Makes hal::HwAbstractionLayer::instance() return this object until it is destroyed.
    void install() {
        hal::HwAbstractionLayer::setInstance(this);
        installed_ = true;
    }

    // The pending wait, or the next one, returns edgeSeen; results are consumed in push order.
    void pushPowerButtonResult(bool edgeSeen) {
        std::lock_guard<std::mutex> guard(mutex_);
        waitResults_.push_back(edgeSeen);
        changed_.notify_all();
    }

    // Every current and later wait returns false (queued results first), each after
    // STOPPED_WAIT_PAUSE.
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

    // Blocks the test until at least count waitForPowerButton calls have started; false when
    // timeout passes first.
    bool waitForWaitCalls(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return waitCalls_ >= count; });
    }

    // Every call in order, as "name(arguments)": "setLed1(1)", "getLed1()", "toggleLed2()",
    // "waitForPowerButton(10000)", "updateDSPflash(/tmp/image.bin)", "playClick()".
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls_;
    }

    std::size_t countCalls(const std::string& call) const {
        const std::vector<std::string> all = calls();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), call));
    }

    // Forgets the trace (not the line values or the scripts).
    void clearCalls() {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.clear();
    }

    // ---- hal::HwAbstractionLayer: flash operations all fail ------------------------------

    bool updateDSPflash(QString file) override { return record("updateDSPflash", file); }
    bool checkDSPflash(QString file) override { return record("checkDSPflash", file); }
    bool readDSPflash(QString file) override { return record("readDSPflash", file); }
    bool eraseDSPflash() override { return record("eraseDSPflash"); }
    void playLongBeep() override { record("playLongBeep"); }
    void playClick() override { record("playClick"); }
    void playDoubleBeep() override { record("playDoubleBeep"); }

    bool waitForPowerButton(unsigned int timeoutSeconds) override {
        std::unique_lock<std::mutex> lock(mutex_);
        calls_.push_back("waitForPowerButton(" + std::to_string(timeoutSeconds) + ")");
        ++waitCalls_;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(timeoutSeconds),
                          [this] { return !waitResults_.empty() || stopped_; });
        if (!waitResults_.empty()) {
            const bool result = waitResults_.front();
            waitResults_.pop_front();
            return result;
        }
        if (stopped_) {
            lock.unlock();
            std::this_thread::sleep_for(STOPPED_WAIT_PAUSE);
        }
        return false;
    }

    int getPowerButton() override {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back("getPowerButton()");
        if (buttonValues_.empty()) {
            return lines_[POWER_BUTTON];
        }
        const int value = buttonValues_.front();
        buttonValues_.pop_front();
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
    enum Line { POWER_BUTTON, DSP_RUN, SPARE, LED1, LED2 };
    static constexpr int READ = -1;
    static constexpr int TOGGLE = -2;

    bool record(const char* name, const QString& argument = QString()) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(std::string(name) + "(" + argument.toStdString() + ")");
        return false;
    }

    // Records "name(value)" for a set, "name()" for a read or a toggle (the product's
    // (value + 1) % 2), and returns the line's value afterwards.
    int use(Line line, const char* name, int value = READ) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(std::string(name) + "(" + (value >= 0 ? std::to_string(value) : "") + ")");
        if (value == TOGGLE) {
            lines_[line] = (lines_[line] + 1) % 2;
        } else if (value != READ) {
            lines_[line] = value;
        }
        return lines_[line];
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::deque<bool> waitResults_;
    std::deque<int> buttonValues_;
    int lines_[5] = {1, 0, 0, 0, 0};
    std::size_t waitCalls_ = 0;
    bool stopped_ = false;
    bool installed_ = false;
};

} // namespace testsupport
