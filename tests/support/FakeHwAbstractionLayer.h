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
// Thread-safe: the button watcher thread and the main thread may use it at once. Every blocking
// point is a condition variable wait or a sleep, both cancellation points, so QThread::terminate
// ends a thread blocked in it.

#include "hal/HwAbstractionLayer.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

class FakeHwAbstractionLayer : public hal::HwAbstractionLayer {
public:
    enum class Line { PowerButton = 0, DspRun = 1, Spare = 2, Led1 = 3, Led2 = 4 };

    // How long a wait takes once stop() was called: long enough that a loop around it neither
    // spins a core nor misses a cancellation point.
    static constexpr std::chrono::milliseconds STOPPED_WAIT_PAUSE{10};

    FakeHwAbstractionLayer() = default;
    ~FakeHwAbstractionLayer() override {
        stop();
        if (installed_) {
            hal::HwAbstractionLayer::setInstance(nullptr);
        }
    }
    FakeHwAbstractionLayer(const FakeHwAbstractionLayer&) = delete;
    FakeHwAbstractionLayer& operator=(const FakeHwAbstractionLayer&) = delete;

    // Makes hal::HwAbstractionLayer::instance() return this object until it is destroyed.
    void install() {
        hal::HwAbstractionLayer::setInstance(this);
        installed_ = true;
    }

    // ---- Scripting the power button ------------------------------------------------------

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

    // Waits block again after stop().
    void resume() {
        std::lock_guard<std::mutex> guard(mutex_);
        stopped_ = false;
    }

    // The value getPowerButton returns when no one-shot value is queued; 1 (released) at first.
    void setPowerButtonValue(int value) {
        std::lock_guard<std::mutex> guard(mutex_);
        lines_[index(Line::PowerButton)] = value;
    }

    // One-shot values for the next getPowerButton calls, in push order.
    void pushPowerButtonValue(int value) {
        std::lock_guard<std::mutex> guard(mutex_);
        buttonValues_.push_back(value);
    }

    // Number of waitForPowerButton calls that have started.
    std::size_t waitCallCount() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return waitCalls_;
    }

    // True when a waitForPowerButton call is blocked right now.
    bool isWaiting() const { return waiting_.load() > 0; }

    // Blocks the test until at least count waitForPowerButton calls have started; false when
    // timeout passes first.
    bool waitForWaitCalls(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return waitCalls_ >= count; });
    }

    // ---- Lines, flash ---------------------------------------------------------------------

    // Sets a line without recording a call.
    void presetLine(Line line, int value) {
        std::lock_guard<std::mutex> guard(mutex_);
        lines_[index(line)] = value;
    }

    // A line's value without recording a call.
    int line(Line line) const {
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_[index(line)];
    }
    int led1() const { return line(Line::Led1); }
    int led2() const { return line(Line::Led2); }
    int dspRunLine() const { return line(Line::DspRun); }
    int spareLine() const { return line(Line::Spare); }

    // The pair (LED 1, LED 2) after every set or toggle of either LED, in order.
    std::vector<std::pair<int, int>> ledStates() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return ledStates_;
    }

    // What the four flash operations return; false at first.
    void setFlashResult(bool result) {
        std::lock_guard<std::mutex> guard(mutex_);
        flashResult_ = result;
    }

    // ---- The call trace ------------------------------------------------------------------

    // Every call in order, as "name(arguments)": "setLed1(1)", "getLed1()", "toggleLed2()",
    // "waitForPowerButton(10000)", "updateDSPflash(/tmp/image.bin)", "playClick()".
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls_;
    }

    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> result;
        for (const std::string& call : calls()) {
            if (call.compare(0, prefix.size(), prefix) == 0) {
                result.push_back(call);
            }
        }
        return result;
    }

    std::size_t countCalls(const std::string& call) const {
        std::size_t count = 0;
        for (const std::string& recorded : calls()) {
            count += recorded == call ? 1 : 0;
        }
        return count;
    }

    // Forgets the trace and the LED states (not the line values or the scripts).
    void clearCalls() {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.clear();
        ledStates_.clear();
    }

    // ---- hal::HwAbstractionLayer ---------------------------------------------------------

    bool updateDSPflash(QString fileName) override {
        return flashCall("updateDSPflash(" + fileName.toStdString() + ")");
    }
    bool checkDSPflash(QString fileName) override {
        return flashCall("checkDSPflash(" + fileName.toStdString() + ")");
    }
    bool readDSPflash(QString fileName) override {
        return flashCall("readDSPflash(" + fileName.toStdString() + ")");
    }
    bool eraseDSPflash() override { return flashCall("eraseDSPflash()"); }

    void playLongBeep() override { record("playLongBeep()"); }
    void playClick() override { record("playClick()"); }
    void playDoubleBeep() override { record("playDoubleBeep()"); }

    bool waitForPowerButton(unsigned int timeoutSeconds) override {
        std::unique_lock<std::mutex> lock(mutex_);
        calls_.push_back("waitForPowerButton(" + std::to_string(timeoutSeconds) + ")");
        ++waitCalls_;
        changed_.notify_all();
        WaitingMark mark(waiting_);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        for (;;) {
            if (!waitResults_.empty()) {
                const bool result = waitResults_.front();
                waitResults_.pop_front();
                return result;
            }
            if (stopped_) {
                lock.unlock();
                std::this_thread::sleep_for(STOPPED_WAIT_PAUSE);
                return false;
            }
            if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
                waitResults_.empty() && !stopped_) {
                return false;
            }
        }
    }

    int getPowerButton() override {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back("getPowerButton()");
        if (!buttonValues_.empty()) {
            const int value = buttonValues_.front();
            buttonValues_.pop_front();
            return value;
        }
        return lines_[index(Line::PowerButton)];
    }

    void setDspRunLine(int value) override { setLine(Line::DspRun, "setDspRunLine", value); }
    int getDspRunLine() override { return getLine(Line::DspRun, "getDspRunLine()"); }
    void setSpareLine(int value) override { setLine(Line::Spare, "setSpareLine", value); }
    int getSpareLine() override { return getLine(Line::Spare, "getSpareLine()"); }
    void setLed1(int value) override { setLine(Line::Led1, "setLed1", value); }
    int getLed1() override { return getLine(Line::Led1, "getLed1()"); }
    void toggleLed1() override { toggleLine(Line::Led1, "toggleLed1()"); }
    void setLed2(int value) override { setLine(Line::Led2, "setLed2", value); }
    int getLed2() override { return getLine(Line::Led2, "getLed2()"); }
    void toggleLed2() override { toggleLine(Line::Led2, "toggleLed2()"); }

private:
    // Counts a blocked wait for as long as it blocks, also when QThread::terminate unwinds it.
    class WaitingMark {
    public:
        explicit WaitingMark(std::atomic<int>& waiting)
            : waiting_(waiting) {
            ++waiting_;
        }
        ~WaitingMark() { --waiting_; }
        WaitingMark(const WaitingMark&) = delete;
        WaitingMark& operator=(const WaitingMark&) = delete;

    private:
        std::atomic<int>& waiting_;
    };

    static int index(Line line) { return static_cast<int>(line); }

    void record(const std::string& call) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(call);
    }

    bool flashCall(const std::string& call) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(call);
        return flashResult_;
    }

    void noteLedState(Line line) {
        if (line == Line::Led1 || line == Line::Led2) {
            ledStates_.emplace_back(lines_[index(Line::Led1)], lines_[index(Line::Led2)]);
        }
    }

    void setLine(Line line, const char* name, int value) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(std::string(name) + "(" + std::to_string(value) + ")");
        lines_[index(line)] = value;
        noteLedState(line);
    }

    int getLine(Line line, const char* call) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(call);
        return lines_[index(line)];
    }

    // The product's toggle: (value + 1) % 2.
    void toggleLine(Line line, const char* call) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(call);
        lines_[index(line)] = (lines_[index(line)] + 1) % 2;
        noteLedState(line);
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::deque<bool> waitResults_;
    std::deque<int> buttonValues_;
    std::vector<std::pair<int, int>> ledStates_;
    int lines_[5] = {1, 0, 0, 0, 0};
    std::size_t waitCalls_ = 0;
    std::atomic<int> waiting_{0};
    bool stopped_ = false;
    bool flashResult_ = false;
    bool installed_ = false;
};

} // namespace testsupport
