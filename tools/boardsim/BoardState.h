#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace boardsim {

/**
 * The simulated board behind the file system: fuel gauge, GPIO lines with the kernel's sysfs
 * rules, the backlight PWM channel, the buzzer device and a trace of every write and request. Paths
 * are relative to the mount point and start with "/". Not thread-safe: the owner serialises every
 * call.
 *
 * Open files are tracked here rather than in the FUSE glue because the edge semantics hang on
 * them: like kernfs, each open file remembers the line's event count it last saw (at open and at
 * every read), and a poll reports POLLPRI|POLLERR while the line has counted further since.
 */
class BoardState {
public:
    using Clock = std::function<std::int64_t()>; // microseconds since the epoch

    enum class NodeKind { Missing, Directory, File };
    struct Node {
        NodeKind kind = NodeKind::Missing;
        unsigned mode = 0; // permission bits
    };

    struct TraceEntry {
        std::int64_t timeMicros;
        std::string path; // as the writer saw it, mount point included
        std::string bytes;
        int error;                 // 0 or the errno the write or request failed with
        std::uint32_t request = 0; // the ioctl request code; 0 for a write
    };

    static constexpr int BUTTON_GPIO = 2;
    static constexpr int LED1_GPIO = 49;
    static constexpr int LED2_GPIO = 143;
    /** Lines 0 .. GPIO_COUNT - 1 exist; exporting any other number fails with EINVAL. */
    static constexpr int GPIO_COUNT = 256;
    /** The button drives its line high while pressed (the daemon reads it with active_low 1). */
    static constexpr int BUTTON_PRESSED_LEVEL = 1;
    static constexpr std::size_t TRACE_LIMIT = 100000;

    static const char* const BATTERY_DIR;
    static const char* const PWM_DIR;
    /**
     * The buzzer's character device, served as a file that readdir does not list; the sandbox
     * binds it over BUZZER_DEVICE, the path its users see and the trace shows.
     */
    static const char* const BUZZER_NODE;
    static const char* const BUZZER_DEVICE;
    /** The buzzer driver's requests: an 8-byte type record, and a run flag of one byte. */
    static constexpr std::uint32_t MELODY_SET_TYPE = 0x40086D00;
    static constexpr std::uint32_t MELODY_RUN = 0x40016D01;
    static const std::vector<std::string>& batteryAttributes();
    static const std::vector<std::string>& pwmFiles();

    explicit BoardState(std::string mountPoint = "/sys/class", Clock clock = systemClock());

    static Clock systemClock();

    // ---- what the file system serves ----
    Node lookup(const std::string& path) const;
    /** Entry names of a directory (empty for anything else). */
    std::vector<std::string> list(const std::string& path) const;
    /** A handle (> 0) or a negative errno. */
    std::int64_t open(const std::string& path, bool forRead, bool forWrite);
    /** The whole current content into `content`; 0 or a negative errno. Consumes a pending edge. */
    int read(std::int64_t handle, std::string& content);
    /** One store of `bytes`, recorded in the trace; 0 or a negative errno. */
    int write(std::int64_t handle, const std::string& bytes);
    /**
     * One ioctl with the bytes the request code's size gives; 0 or a negative errno (ENOTTY for
     * anything but the buzzer's two requests). Requests to the buzzer are recorded in the trace.
     */
    int ioctl(std::int64_t handle, std::uint32_t request, const std::string& argument);
    /** O_TRUNC on an attribute is accepted and changes nothing, as in sysfs. */
    int truncate(const std::string& path) const;
    /** poll(2) event bits for the handle. */
    unsigned poll(std::int64_t handle) const;
    bool edgePending(std::int64_t handle) const;
    void close(std::int64_t handle);

    // ---- the board's side, driven by the control commands ----
    /** Sets an attribute's text (a trailing "\n" is added when read); false for unknown names. */
    bool setAttribute(const std::string& name, const std::string& value);
    bool removeAttribute(const std::string& name);
    /** The attribute's text, or false when it is absent. */
    bool attribute(const std::string& name, std::string& value) const;
    void setGaugePresent(bool present);
    bool gaugePresent() const { return gaugeIsPresent; }
    /** The whole gpio directory; the lines keep their state while it is gone. */
    void setGpioPresent(bool present) { gpioIsPresent = present; }
    void setExternalPower(bool on);
    /**
     * Capacity falls by this many percent per minute of the clock on battery, and rises by as
     * much on external power up to 100 %, where the status turns "Full" (0 stops both).
     */
    void setDischargeRate(double percentPerMinute);
    void pressButton();
    void releaseButton();
    /** Press now and release after holdMillis (carried out by advance()). */
    void clickButton(int holdMillis);
    /** Sets the level an input line sees from outside; 0 or a negative errno. */
    int driveLine(int number, int level);
    /** The value a read of gpio<N>/value gives (active_low applied); -1 for no such line. */
    int lineValue(int number) const;
    /** The output changed level twice within FLASH_WINDOW_MICROS: a lamp blinking on it. */
    bool lineFlashing(int number) const;
    static constexpr std::int64_t FLASH_WINDOW_MICROS = 2500000;
    std::string lineInfo(int number) const;
    /** The exact bytes last written to a PWM file; false if never written. */
    bool pwmWritten(const std::string& name, std::string& bytes) const;
    /** "type=<last type or none> running=0|1" */
    std::string buzzerInfo() const;
    /** Runs the time-driven parts (discharge, click release) up to the clock's now. */
    void advance();

    const std::deque<TraceEntry>& trace() const { return traceEntries; }
    std::string traceText() const;
    void clearTrace();

    /** Bytes as a double-quoted C-like literal: printable ASCII as is, others as \n, \xHH ... */
    static std::string quote(const std::string& bytes);

private:
    struct Line {
        bool output = false;
        int externalLevel = 0; // what an input sees
        int outputLevel = 0;   // what the line drives as an output
        bool exported = false;
        bool activeLow = false;
        std::string edge = "none";
        std::uint64_t events = 0;             // edges that matched the edge setting
        std::uint64_t generation = 0;         // bumped by export and unexport: stale handles fail
        std::int64_t changedAt[2] = {-1, -1}; // the last two output level changes, latest first
    };

    enum class Kind {
        None,
        Directory,
        BatteryAttribute,
        GpioExport,
        GpioUnexport,
        GpioValue,
        GpioDirection,
        GpioActiveLow,
        GpioEdge,
        PwmFile,
        Buzzer
    };
    struct Target {
        Kind kind = Kind::None;
        std::string name; // attribute or PWM file name
        int line = -1;
    };
    struct Handle {
        std::string path;
        bool forRead;
        bool forWrite;
        std::uint64_t generation;
        std::uint64_t seenEvents;
    };
    struct Attribute {
        bool present = true;
        std::string value;
    };

    Target resolve(const std::string& path) const;
    unsigned modeOf(const Target& target) const;
    std::uint64_t generationOf(const Target& target) const;
    std::uint64_t eventsOf(const Target& target) const;
    bool stale(const Handle& handle, Target& target) const;
    std::string render(const Target& target) const;
    int store(const Target& target, const std::string& bytes);
    int storeGpio(const Target& target, const std::string& bytes);
    void record(TraceEntry entry);

    Line& line(int number);
    const Line* findLine(int number) const;
    static int levelOf(const Line& line);
    static int logicalOf(const Line& line);
    /** Applies a new external level and counts an edge if it matches the line's setting. */
    void setExternalLevel(int number, int level);
    void setOutputLevel(Line& line, int level);
    void setCapacityText(double level);

    std::string mountPoint;
    Clock clock;
    bool gaugeIsPresent = true;
    bool externalPower = true;
    bool gpioIsPresent = true;
    std::uint64_t gaugeGeneration = 0;
    std::map<std::string, Attribute> attributes;
    std::map<int, Line> lines;
    std::map<std::string, std::string> pwmContent;
    std::map<std::string, std::string> pwmLastWrite;
    std::map<std::int64_t, Handle> handles;
    std::int64_t nextHandle = 1;
    std::deque<TraceEntry> traceEntries;
    std::string buzzerType = "none";
    bool buzzerRunning = false;

    double dischargeRate = 0.0; // percent per minute
    double capacityLevel = 0.0;
    std::int64_t lastAdvance = 0;
    std::int64_t releaseAt = -1; // pending click release, clock micros
};

} // namespace boardsim
