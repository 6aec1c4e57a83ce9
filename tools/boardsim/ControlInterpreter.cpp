#include "boardsim/ControlInterpreter.h"

#include "boardsim/BoardState.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace boardsim {

namespace {

const int DEFAULT_CLICK_MILLIS = 200;
const int MAX_CLICK_MILLIS = 60000;

// Splits off the first word; `rest` keeps everything after the single separating blank, so
// values with inner or trailing blanks ("Charging ") arrive unchanged.
std::string firstWord(const std::string& text, std::string& rest) {
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        rest.clear();
        return text;
    }
    rest = text.substr(blank + 1);
    return text.substr(0, blank);
}

bool parseInt(const std::string& text, int& value) {
    if (text.empty() || text.find_first_not_of("-0123456789") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || parsed < -1000000 || parsed > 1000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

std::string error(const std::string& message) {
    return "error: " + message + "\n";
}

// What the power manager's pattern on the two LED lines tells the user.
std::string ledPattern(int led1, int led2, bool flashing1, bool flashing2) {
    if (!flashing1 && !flashing2) {
        if (led1 == 0 && led2 == 1)
            return "external power";
        if (led1 == 1 && led2 == 1)
            return "on battery";
        if (led1 == 1 && led2 == 0)
            return "battery low";
        return led1 == 0 && led2 == 0 ? "off" : "no pattern";
    }
    if (!flashing1 && led1 == 0)
        return "external power, flashing";
    if (flashing1 && flashing2)
        return led1 == led2 ? "on battery, flashing" : "no pattern";
    if (flashing1 && !flashing2 && led2 == 0)
        return "battery low, flashing";
    return "no pattern";
}

} // namespace

ControlInterpreter::ControlInterpreter(BoardState& board)
    : board(board) {}

std::string ControlInterpreter::help() {
    return "set <attribute> [text]    battery attribute text (present status capacity type\n"
           "                          current_now voltage_now temp); the file reads text\\n\n"
           "unset <attribute>         the attribute file vanishes until the next set\n"
           "gauge absent|present      the whole power_supply/bq27425-0 directory\n"
           "gpio absent|present       the whole gpio directory (the lines keep their state)\n"
           "external-power on|off     status Charging, current_now 500000 /\n"
           "                          status Discharging, current_now -300000\n"
           "discharge <rate>          capacity falls by rate percent per minute on battery\n"
           "                          and rises by as much on external power (0 stops)\n"
           "press | release           the power button (GPIO 2 reads 0 while pressed\n"
           "                          with active_low 1)\n"
           "click [ms]                press, release after ms (default 200)\n"
           "drive <gpio> 0|1          the level an input line sees from outside\n"
           "get gpio <n>              the value gpio<n>/value reads\n"
           "get led                   led1=<gpio 49> led2=<gpio 143> (what the pattern\n"
           "                          says, e.g. battery low, flashing)\n"
           "get backlight             the exact bytes last written to each PWM file\n"
           "get battery               the attribute texts\n"
           "get buzzer                the last melody type and whether it plays\n"
           "info gpio <n>             exported, direction, active_low, edge, level, value\n"
           "trace | trace-clear       every write and request: time path [ioctl CODE]\n"
           "                          \"bytes\" ok|ERRNO\n"
           "ping                      answers pong\n";
}

std::string ControlInterpreter::execute(const std::string& input) {
    std::string line = input;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    std::string rest;
    const std::string command = firstWord(line, rest);
    // Every command sees the time-driven state as of now.
    board.advance();

    if (command == "ping")
        return "pong\n";
    if (command == "help")
        return help();
    if (command == "set") {
        std::string value;
        const std::string name = firstWord(rest, value);
        if (!board.setAttribute(name, value))
            return error("unknown attribute '" + name + "'");
        return std::string();
    }
    if (command == "unset") {
        if (!board.removeAttribute(rest))
            return error("unknown attribute '" + rest + "'");
        return std::string();
    }
    if (command == "gauge") {
        if (rest != "absent" && rest != "present")
            return error("gauge absent|present");
        board.setGaugePresent(rest == "present");
        return std::string();
    }
    if (command == "gpio") {
        if (rest != "absent" && rest != "present")
            return error("gpio absent|present");
        board.setGpioPresent(rest == "present");
        return std::string();
    }
    if (command == "external-power") {
        if (rest != "on" && rest != "off")
            return error("external-power on|off");
        board.setExternalPower(rest == "on");
        return std::string();
    }
    if (command == "discharge") {
        char* end = nullptr;
        const double rate = std::strtod(rest.c_str(), &end);
        if (rest.empty() || end != rest.c_str() + rest.size() || !std::isfinite(rate) || rate < 0)
            return error("discharge <percent per minute, 0 stops>");
        board.setDischargeRate(rate);
        return std::string();
    }
    if (command == "press" && rest.empty()) {
        board.pressButton();
        return std::string();
    }
    if (command == "release" && rest.empty()) {
        board.releaseButton();
        return std::string();
    }
    if (command == "click") {
        int millis = DEFAULT_CLICK_MILLIS;
        if (!rest.empty() && (!parseInt(rest, millis) || millis < 1 || millis > MAX_CLICK_MILLIS))
            return error("click [1.." + std::to_string(MAX_CLICK_MILLIS) + " ms]");
        board.clickButton(millis);
        return std::string();
    }
    if (command == "drive") {
        std::string levelText;
        const std::string numberText = firstWord(rest, levelText);
        int number = 0;
        int level = 0;
        if (!parseInt(numberText, number) || !parseInt(levelText, level) || level < 0 ||
            level > 1 || board.driveLine(number, level) != 0)
            return error("drive <gpio 0.." + std::to_string(BoardState::GPIO_COUNT - 1) + "> 0|1");
        return std::string();
    }
    if (command == "get" || command == "info") {
        std::string what;
        const std::string subject = firstWord(rest, what);
        if (command == "info") {
            int number = 0;
            if (subject != "gpio" || !parseInt(what, number) || board.lineValue(number) < 0)
                return error("info gpio <n>");
            return board.lineInfo(number) + "\n";
        }
        return get(subject, what);
    }
    if (command == "trace" && rest.empty())
        return board.traceText();
    if (command == "trace-clear" && rest.empty()) {
        board.clearTrace();
        return std::string();
    }
    return error("unknown command '" + line + "' (try help)");
}

std::string ControlInterpreter::get(const std::string& what, const std::string& rest) {
    if (what == "gpio") {
        int number = 0;
        const int value = parseInt(rest, number) ? board.lineValue(number) : -1;
        if (value < 0)
            return error("get gpio <0.." + std::to_string(BoardState::GPIO_COUNT - 1) + ">");
        return std::to_string(value) + "\n";
    }
    if (!rest.empty())
        return error("get " + what + " takes no argument");
    if (what == "led") {
        const int led1 = board.lineValue(BoardState::LED1_GPIO);
        const int led2 = board.lineValue(BoardState::LED2_GPIO);
        return "led1=" + std::to_string(led1) + " led2=" + std::to_string(led2) + " (" +
               ledPattern(led1, led2, board.lineFlashing(BoardState::LED1_GPIO),
                          board.lineFlashing(BoardState::LED2_GPIO)) +
               ")\n";
    }
    if (what == "backlight") {
        std::string text;
        for (const std::string& name : BoardState::pwmFiles()) {
            std::string bytes;
            text += text.empty() ? "" : " ";
            text +=
                name + "=" + (board.pwmWritten(name, bytes) ? BoardState::quote(bytes) : "none");
        }
        return text + "\n";
    }
    if (what == "battery") {
        if (!board.gaugePresent())
            return "gauge absent\n";
        std::string text;
        for (const std::string& name : BoardState::batteryAttributes()) {
            std::string value;
            text += name +
                    (board.attribute(name, value) ? "=" + BoardState::quote(value)
                                                  : std::string(" absent")) +
                    "\n";
        }
        return text;
    }
    if (what == "buzzer")
        return board.buzzerInfo() + "\n";
    return error("get gpio <n> | led | backlight | battery | buzzer");
}

} // namespace boardsim
