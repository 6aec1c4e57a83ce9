#include "boardsim/BoardState.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sstream>

namespace boardsim {

namespace {

const char* const GPIO_DIR = "/gpio";

// kernfs answers every poll with these; POLLPRI|POLLERR come on top once the attribute changed.
constexpr unsigned DEFAULT_POLL_MASK = POLLIN | POLLRDNORM | POLLOUT | POLLWRNORM;

// Two currents well outside the daemon's idle band (-100 mA .. +10 mA), so the charge state
// follows the status text.
const char* const CHARGING_CURRENT = "500000";
const char* const DISCHARGING_CURRENT = "-300000";

std::string withoutOneNewline(const std::string& text) {
    if (!text.empty() && text.back() == '\n')
        return text.substr(0, text.size() - 1);
    return text;
}

// The kernel's kstrtol with base 0: a single trailing newline is allowed, nothing else.
bool parseLong(const std::string& bytes, long long& value) {
    const std::string text = withoutOneNewline(bytes);
    if (text.empty() || text.find('\0') != std::string::npos ||
        std::isspace(static_cast<unsigned char>(text.front())))
        return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end != text.c_str() + text.size())
        return false;
    value = parsed;
    return true;
}

std::string errnoName(int error) {
    switch (error) {
    case ENOENT:
        return "ENOENT";
    case EACCES:
        return "EACCES";
    case EBUSY:
        return "EBUSY";
    case EINVAL:
        return "EINVAL";
    case EPERM:
        return "EPERM";
    case EIO:
        return "EIO";
    case ENODEV:
        return "ENODEV";
    case EBADF:
        return "EBADF";
    case ENOTTY:
        return "ENOTTY";
    default:
        return "E" + std::to_string(error);
    }
}

bool isEdgeWord(const std::string& word) {
    return word == "none" || word == "rising" || word == "falling" || word == "both";
}

bool splitPath(const std::string& path, std::vector<std::string>& parts) {
    if (path.empty() || path.front() != '/')
        return false;
    std::string part;
    std::istringstream stream(path.substr(1));
    while (std::getline(stream, part, '/')) {
        if (part.empty())
            return false;
        parts.push_back(part);
    }
    return true;
}

// "gpio<N>" with N written as the kernel writes it (decimal, no leading zeros).
int gpioDirNumber(const std::string& name) {
    if (name.size() < 5 || name.compare(0, 4, "gpio") != 0)
        return -1;
    const std::string digits = name.substr(4);
    if (digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const int number = std::atoi(digits.c_str());
    if (std::to_string(number) != digits)
        return -1;
    return number;
}

} // namespace

const char* const BoardState::BATTERY_DIR = "/power_supply/bq27425-0";
const char* const BoardState::PWM_DIR = "/pwm/tmpa9xx-pwm:1";
const char* const BoardState::BUZZER_NODE = "/.dev/mldalm";
const char* const BoardState::BUZZER_DEVICE = "/dev/mldalm";

const std::vector<std::string>& BoardState::batteryAttributes() {
    static const std::vector<std::string> names = {"present",     "status",      "capacity", "type",
                                                   "current_now", "voltage_now", "temp"};
    return names;
}

const std::vector<std::string>& BoardState::pwmFiles() {
    static const std::vector<std::string> names = {"export", "polarity", "period_ns", "duty_ns",
                                                   "run"};
    return names;
}

BoardState::Clock BoardState::systemClock() {
    return [] {
        return static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::chrono::system_clock::now().time_since_epoch())
                                             .count());
    };
}

BoardState::BoardState(std::string mountPoint, Clock clock)
    : mountPoint(std::move(mountPoint))
    , clock(std::move(clock)) {
    // The trace prefixes paths that begin with "/" already.
    while (!this->mountPoint.empty() && this->mountPoint.back() == '/')
        this->mountPoint.pop_back();
    attributes["present"].value = "1";
    attributes["status"].value = "Charging";
    attributes["capacity"].value = "80";
    attributes["type"].value = "Battery";
    attributes["current_now"].value = CHARGING_CURRENT;
    attributes["voltage_now"].value = "4000000";
    attributes["temp"].value = "250";
    capacityLevel = 80.0;
    for (const std::string& name : pwmFiles())
        if (name != "export")
            pwmContent[name] = "0";
    lastAdvance = this->clock();
}

// ---------------------------------------------------------------- file-system view

BoardState::Target BoardState::resolve(const std::string& path) const {
    Target target;
    std::vector<std::string> parts;
    if (!splitPath(path, parts))
        return target;
    const std::size_t depth = parts.size();
    if (depth == 0) {
        target.kind = Kind::Directory;
        return target;
    }
    if (parts[0] == "power_supply") {
        if (depth == 1 || (depth == 2 && parts[1] == "bq27425-0" && gaugeIsPresent)) {
            target.kind = Kind::Directory;
        } else if (depth == 3 && parts[1] == "bq27425-0" && gaugeIsPresent) {
            const auto found = attributes.find(parts[2]);
            if (found != attributes.end() && found->second.present) {
                target.kind = Kind::BatteryAttribute;
                target.name = parts[2];
            }
        }
    } else if (parts[0] == "gpio" && gpioIsPresent) {
        if (depth == 1) {
            target.kind = Kind::Directory;
        } else if (depth == 2 && parts[1] == "export") {
            target.kind = Kind::GpioExport;
        } else if (depth == 2 && parts[1] == "unexport") {
            target.kind = Kind::GpioUnexport;
        } else if (depth <= 3) {
            const int number = gpioDirNumber(parts[1]);
            const Line* found = findLine(number);
            if (found == nullptr || !found->exported)
                return target;
            target.line = number;
            if (depth == 2)
                target.kind = Kind::Directory;
            else if (parts[2] == "value")
                target.kind = Kind::GpioValue;
            else if (parts[2] == "direction")
                target.kind = Kind::GpioDirection;
            else if (parts[2] == "active_low")
                target.kind = Kind::GpioActiveLow;
            else if (parts[2] == "edge")
                target.kind = Kind::GpioEdge;
        }
    } else if (parts[0] == ".dev") {
        if (depth == 1) {
            target.kind = Kind::Directory;
        } else if (depth == 2 && parts[1] == "mldalm") {
            target.kind = Kind::Buzzer;
        }
    } else if (parts[0] == "pwm") {
        if (depth == 1 || (depth == 2 && parts[1] == "tmpa9xx-pwm:1")) {
            target.kind = Kind::Directory;
        } else if (depth == 3 && parts[1] == "tmpa9xx-pwm:1") {
            for (const std::string& name : pwmFiles())
                if (parts[2] == name) {
                    target.kind = Kind::PwmFile;
                    target.name = name;
                }
        }
    }
    return target;
}

unsigned BoardState::modeOf(const Target& target) const {
    switch (target.kind) {
    case Kind::None:
        return 0;
    case Kind::Directory:
        return 0755;
    case Kind::BatteryAttribute:
        return 0444;
    case Kind::GpioExport:
    case Kind::GpioUnexport:
        return 0200;
    case Kind::PwmFile:
        return target.name == "export" ? 0200 : 0644;
    case Kind::Buzzer:
        return 0666;
    default:
        return 0644;
    }
}

std::uint64_t BoardState::generationOf(const Target& target) const {
    if (target.kind == Kind::BatteryAttribute)
        return gaugeGeneration;
    if (target.line >= 0) {
        const Line* found = findLine(target.line);
        return found != nullptr ? found->generation : 0;
    }
    return 0;
}

std::uint64_t BoardState::eventsOf(const Target& target) const {
    if (target.kind != Kind::GpioValue)
        return 0;
    const Line* found = findLine(target.line);
    return found != nullptr ? found->events : 0;
}

bool BoardState::stale(const Handle& handle, Target& target) const {
    target = resolve(handle.path);
    return target.kind == Kind::None || generationOf(target) != handle.generation;
}

BoardState::Node BoardState::lookup(const std::string& path) const {
    const Target target = resolve(path);
    Node node;
    if (target.kind == Kind::None)
        return node;
    node.kind = target.kind == Kind::Directory ? NodeKind::Directory : NodeKind::File;
    node.mode = modeOf(target);
    return node;
}

std::vector<std::string> BoardState::list(const std::string& path) const {
    std::vector<std::string> names;
    if (resolve(path).kind != Kind::Directory)
        return names;
    std::string dir = path;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir == "/") {
        names = {"power_supply", "pwm"};
        if (gpioIsPresent)
            names.insert(names.begin(), "gpio");
    } else if (dir == "/power_supply") {
        if (gaugeIsPresent)
            names.push_back("bq27425-0");
    } else if (dir == BATTERY_DIR) {
        for (const std::string& name : batteryAttributes())
            if (attributes.at(name).present)
                names.push_back(name);
    } else if (dir == GPIO_DIR) {
        names = {"export", "unexport"};
        for (const auto& entry : lines)
            if (entry.second.exported)
                names.push_back("gpio" + std::to_string(entry.first));
    } else if (dir == "/pwm") {
        names.push_back("tmpa9xx-pwm:1");
    } else if (dir == PWM_DIR) {
        names = pwmFiles();
    } else if (dir == "/.dev") {
        names.push_back("mldalm");
    } else {
        names = {"active_low", "direction", "edge", "value"};
    }
    return names;
}

std::int64_t BoardState::open(const std::string& path, bool forRead, bool forWrite) {
    const Target target = resolve(path);
    if (target.kind == Kind::None)
        return -ENOENT;
    if (target.kind == Kind::Directory)
        return -EISDIR;
    // kernfs refuses to open an attribute for an access it has no method for, even for root.
    const unsigned mode = modeOf(target);
    if ((forRead && (mode & 0444) == 0) || (forWrite && (mode & 0222) == 0))
        return -EACCES;
    const std::int64_t id = nextHandle++;
    handles[id] = Handle{path, forRead, forWrite, generationOf(target), eventsOf(target)};
    return id;
}

int BoardState::read(std::int64_t handle, std::string& content) {
    const auto found = handles.find(handle);
    if (found == handles.end())
        return -EBADF;
    Handle& open = found->second;
    if (!open.forRead)
        return -EBADF;
    Target target;
    if (stale(open, target))
        return -ENODEV;
    content = render(target);
    open.seenEvents = eventsOf(target);
    return 0;
}

int BoardState::write(std::int64_t handle, const std::string& bytes) {
    const auto found = handles.find(handle);
    if (found == handles.end())
        return -EBADF;
    const Handle& open = found->second;
    if (!open.forWrite)
        return -EBADF;
    Target target;
    const int result = stale(open, target) ? -ENODEV : store(target, bytes);
    record(TraceEntry{clock(), mountPoint + open.path, bytes, -result});
    return result;
}

int BoardState::ioctl(std::int64_t handle, std::uint32_t request, const std::string& argument) {
    const auto found = handles.find(handle);
    Target target;
    if (found == handles.end() || stale(found->second, target))
        return found == handles.end() ? -EBADF : -ENODEV;
    // Attribute files know no requests, as in sysfs; probes like isatty's stay out of the trace.
    if (target.kind != Kind::Buzzer)
        return -ENOTTY;
    int result = -ENOTTY;
    if (request == MELODY_SET_TYPE && argument.size() == 8) {
        // Bytes 4 to 7 carry the type, little-endian.
        std::uint32_t type = 0;
        for (int index = 7; index >= 4; --index)
            type = type << 8 | static_cast<unsigned char>(argument[index]);
        buzzerType = std::to_string(type);
        result = 0;
    } else if (request == MELODY_RUN && argument.size() == 1) {
        buzzerRunning = argument[0] != 0;
        result = 0;
    }
    record(TraceEntry{clock(), BUZZER_DEVICE, argument, -result, request});
    return result;
}

void BoardState::record(TraceEntry entry) {
    traceEntries.push_back(std::move(entry));
    if (traceEntries.size() > TRACE_LIMIT)
        traceEntries.pop_front();
}

std::string BoardState::buzzerInfo() const {
    return "type=" + buzzerType + " running=" + (buzzerRunning ? "1" : "0");
}

int BoardState::truncate(const std::string& path) const {
    const Target target = resolve(path);
    if (target.kind == Kind::None)
        return -ENOENT;
    if (target.kind == Kind::Directory)
        return -EISDIR;
    return (modeOf(target) & 0222) != 0 ? 0 : -EACCES;
}

unsigned BoardState::poll(std::int64_t handle) const {
    return DEFAULT_POLL_MASK | (edgePending(handle) ? POLLPRI | POLLERR : 0u);
}

bool BoardState::edgePending(std::int64_t handle) const {
    const auto found = handles.find(handle);
    if (found == handles.end())
        return false;
    Target target;
    // A removed attribute wakes its pollers for good, as kernfs does.
    if (stale(found->second, target))
        return true;
    return eventsOf(target) != found->second.seenEvents;
}

void BoardState::close(std::int64_t handle) {
    handles.erase(handle);
}

std::string BoardState::render(const Target& target) const {
    switch (target.kind) {
    case Kind::BatteryAttribute:
        return attributes.at(target.name).value + "\n";
    case Kind::GpioValue:
        return std::to_string(logicalOf(*findLine(target.line))) + "\n";
    case Kind::GpioDirection:
        return findLine(target.line)->output ? "out\n" : "in\n";
    case Kind::GpioActiveLow:
        return findLine(target.line)->activeLow ? "1\n" : "0\n";
    case Kind::GpioEdge:
        return findLine(target.line)->edge + "\n";
    case Kind::PwmFile: {
        // Shown as the last text written, without the terminating NUL the writers send.
        std::string text = pwmContent.at(target.name);
        while (!text.empty() && (text.back() == '\0' || text.back() == '\n'))
            text.pop_back();
        return text + "\n";
    }
    default:
        return std::string();
    }
}

int BoardState::store(const Target& target, const std::string& bytes) {
    if (target.kind == Kind::PwmFile) {
        pwmLastWrite[target.name] = bytes;
        if (target.name != "export")
            pwmContent[target.name] = bytes;
        return 0;
    }
    if (target.kind == Kind::BatteryAttribute)
        return -EACCES;
    if (target.kind == Kind::Buzzer)
        return -EINVAL; // the driver knows requests only
    return storeGpio(target, bytes);
}

int BoardState::storeGpio(const Target& target, const std::string& bytes) {
    long long number = 0;
    if (target.kind == Kind::GpioExport || target.kind == Kind::GpioUnexport) {
        if (!parseLong(bytes, number) || number < 0 || number >= GPIO_COUNT)
            return -EINVAL;
        Line& chosen = line(static_cast<int>(number));
        if (target.kind == Kind::GpioExport) {
            if (chosen.exported)
                return -EBUSY;
            chosen.exported = true;
        } else {
            if (!chosen.exported)
                return -EINVAL;
            // Freeing the line drops its polarity and interrupt, not its hardware direction.
            chosen.exported = false;
            chosen.activeLow = false;
            chosen.edge = "none";
        }
        ++chosen.generation;
        return 0;
    }

    Line& chosen = line(target.line);
    const std::string word = withoutOneNewline(bytes);
    switch (target.kind) {
    case Kind::GpioValue:
        if (!chosen.output)
            return -EPERM;
        if (!parseLong(bytes, number))
            return -EINVAL;
        setOutputLevel(chosen, (number != 0) != chosen.activeLow ? 1 : 0);
        return 0;
    case Kind::GpioDirection:
        if (word == "in") {
            chosen.output = false;
            return 0;
        }
        if (word != "out" && word != "low" && word != "high")
            return -EINVAL;
        // A line that serves as an interrupt source cannot become an output.
        if (chosen.edge != "none")
            return -EIO;
        chosen.output = true;
        setOutputLevel(chosen, word == "high" ? 1 : 0);
        return 0;
    case Kind::GpioActiveLow:
        if (!parseLong(bytes, number))
            return -EINVAL;
        chosen.activeLow = number != 0;
        return 0;
    case Kind::GpioEdge:
        if (!isEdgeWord(word))
            return -EINVAL;
        if (chosen.output && word != "none")
            return -EIO;
        chosen.edge = word;
        return 0;
    default:
        return -EIO;
    }
}

// ---------------------------------------------------------------- lines

BoardState::Line& BoardState::line(int number) {
    return lines[number];
}

const BoardState::Line* BoardState::findLine(int number) const {
    const auto found = lines.find(number);
    return found == lines.end() ? nullptr : &found->second;
}

int BoardState::levelOf(const Line& line) {
    return line.output ? line.outputLevel : line.externalLevel;
}

int BoardState::logicalOf(const Line& line) {
    return levelOf(line) ^ (line.activeLow ? 1 : 0);
}

void BoardState::setExternalLevel(int number, int level) {
    Line& chosen = line(number);
    const int before = logicalOf(chosen);
    chosen.externalLevel = level != 0 ? 1 : 0;
    const int after = logicalOf(chosen);
    if (chosen.output || !chosen.exported || before == after)
        return;
    // Edges are taken on the value as read, that is with active_low applied.
    const bool rising = after == 1;
    if (chosen.edge == "both" || (rising && chosen.edge == "rising") ||
        (!rising && chosen.edge == "falling"))
        ++chosen.events;
}

void BoardState::setOutputLevel(Line& line, int level) {
    if (line.outputLevel != level) {
        line.changedAt[1] = line.changedAt[0];
        line.changedAt[0] = clock();
    }
    line.outputLevel = level;
}

bool BoardState::lineFlashing(int number) const {
    const Line* found = findLine(number);
    return found != nullptr && found->output && found->changedAt[1] >= 0 &&
           clock() - found->changedAt[1] <= FLASH_WINDOW_MICROS;
}

int BoardState::driveLine(int number, int level) {
    if (number < 0 || number >= GPIO_COUNT)
        return -EINVAL;
    setExternalLevel(number, level);
    return 0;
}

int BoardState::lineValue(int number) const {
    if (number < 0 || number >= GPIO_COUNT)
        return -1;
    const Line* found = findLine(number);
    return found != nullptr ? logicalOf(*found) : 0;
}

std::string BoardState::lineInfo(int number) const {
    if (number < 0 || number >= GPIO_COUNT)
        return std::string();
    const Line defaults;
    const Line* found = findLine(number);
    const Line& shown = found != nullptr ? *found : defaults;
    std::ostringstream text;
    text << "exported=" << (shown.exported ? 1 : 0)
         << " direction=" << (shown.output ? "out" : "in")
         << " active_low=" << (shown.activeLow ? 1 : 0) << " edge=" << shown.edge
         << " level=" << levelOf(shown) << " value=" << logicalOf(shown)
         << " events=" << shown.events;
    return text.str();
}

void BoardState::pressButton() {
    releaseAt = -1;
    setExternalLevel(BUTTON_GPIO, BUTTON_PRESSED_LEVEL);
}

void BoardState::releaseButton() {
    releaseAt = -1;
    setExternalLevel(BUTTON_GPIO, 1 - BUTTON_PRESSED_LEVEL);
}

void BoardState::clickButton(int holdMillis) {
    pressButton();
    releaseAt = clock() + static_cast<std::int64_t>(holdMillis) * 1000;
}

// ---------------------------------------------------------------- gauge and PWM

bool BoardState::setAttribute(const std::string& name, const std::string& value) {
    const auto found = attributes.find(name);
    if (found == attributes.end())
        return false;
    if (name == "capacity") {
        // Settle the discharge so far, then restart the model from the new value if it is one.
        advance();
        char* end = nullptr;
        const double level = std::strtod(value.c_str(), &end);
        if (!value.empty() && end == value.c_str() + value.size() && std::isfinite(level))
            capacityLevel = level;
        // A level set at the top while charging reads as full, as one charged there does.
        if (externalPower && capacityLevel >= 100.0 && attributes["status"].value == "Charging")
            attributes["status"].value = "Full";
    }
    found->second.present = true;
    found->second.value = value;
    return true;
}

bool BoardState::removeAttribute(const std::string& name) {
    const auto found = attributes.find(name);
    if (found == attributes.end())
        return false;
    found->second.present = false;
    return true;
}

bool BoardState::attribute(const std::string& name, std::string& value) const {
    const auto found = attributes.find(name);
    if (found == attributes.end() || !found->second.present)
        return false;
    value = found->second.value;
    return true;
}

void BoardState::setGaugePresent(bool present) {
    if (present != gaugeIsPresent)
        ++gaugeGeneration;
    gaugeIsPresent = present;
}

void BoardState::setExternalPower(bool on) {
    advance();
    externalPower = on;
    const char* status = on ? (capacityLevel >= 100.0 ? "Full" : "Charging") : "Discharging";
    attributes["status"] = Attribute{true, status};
    attributes["current_now"] = Attribute{true, on ? CHARGING_CURRENT : DISCHARGING_CURRENT};
}

void BoardState::setDischargeRate(double percentPerMinute) {
    advance();
    dischargeRate = percentPerMinute > 0.0 ? percentPerMinute : 0.0;
}

void BoardState::setCapacityText(double level) {
    // A gauge reports a whole percent that drops once the charge has fallen below it. The clamp
    // keeps absurd values set by hand inside what an int can hold.
    const double shown = std::ceil(std::min(std::max(level, 0.0), 1e9) - 1e-6);
    attributes["capacity"].value = std::to_string(static_cast<long long>(std::max(shown, 0.0)));
}

void BoardState::advance() {
    const std::int64_t now = clock();
    if (dischargeRate > 0.0 && now > lastAdvance) {
        const double before = capacityLevel;
        const double change = dischargeRate * static_cast<double>(now - lastAdvance) / 60e6;
        capacityLevel = externalPower ? std::min(capacityLevel + change, 100.0)
                                      : std::max(capacityLevel - change, 0.0);
        if (std::ceil(before - 1e-6) != std::ceil(capacityLevel - 1e-6))
            setCapacityText(capacityLevel);
        // A gauge reports a battery charged to the top as full.
        if (externalPower && before < 100.0 && capacityLevel >= 100.0)
            attributes["status"].value = "Full";
    }
    lastAdvance = now;
    if (releaseAt >= 0 && now >= releaseAt)
        releaseButton();
}

bool BoardState::pwmWritten(const std::string& name, std::string& bytes) const {
    const auto found = pwmLastWrite.find(name);
    if (found == pwmLastWrite.end())
        return false;
    bytes = found->second;
    return true;
}

// ---------------------------------------------------------------- trace

std::string BoardState::quote(const std::string& bytes) {
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            text += hex;
        }
    }
    return text + "\"";
}

std::string BoardState::traceText() const {
    std::string text;
    for (const TraceEntry& entry : traceEntries) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%lld.%06lld",
                      static_cast<long long>(entry.timeMicros / 1000000),
                      static_cast<long long>(entry.timeMicros % 1000000));
        text += stamp;
        text += ' ';
        text += entry.path;
        if (entry.request != 0) {
            char request[24];
            std::snprintf(request, sizeof request, " ioctl 0x%08x", entry.request);
            text += request;
        }
        text += ' ';
        text += quote(entry.bytes);
        text += ' ';
        text += entry.error == 0 ? std::string("ok") : errnoName(entry.error);
        text += '\n';
    }
    return text;
}

void BoardState::clearTrace() {
    traceEntries.clear();
}

} // namespace boardsim
