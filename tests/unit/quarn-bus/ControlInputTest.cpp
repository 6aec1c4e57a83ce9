#include "quarn-bus/ControlInput.h"

#include "foundation/FileDescriptor.h"

#include "QuarnBusTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

using quarn_bus::ControlInput;
using shared::FileDescriptor;

namespace {

struct Collected {
    explicit Collected(ControlInput& input) {
        QObject::connect(&input, &ControlInput::lineReceived,
                         [this](const std::string& line) { lines.push_back(line); });
        QObject::connect(&input, &ControlInput::closed, [this]() { closed = true; });
    }
    std::vector<std::string> lines;
    bool closed = false;
};

} // namespace

TEST(ControlInput, LinesArriveWholeAndEndlessLinesAreCut) {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
    ASSERT_TRUE(FileDescriptor::openPipe(readEnd, writeEnd));
    ControlInput input(std::move(readEnd));
    Collected collected(input);
    const auto write = [&writeEnd](const std::string& text) {
        ASSERT_TRUE(writeEnd.writeText(text));
    };

    write("session active\npower-button");
    ASSERT_TRUE(testsupport::pumpUntil([&] { return collected.lines.size() == 1; }));
    write("-flag 1\r\n\n" + std::string(ControlInput::MAX_LINE_LENGTH + 10, 'x') + "\nquit");
    // The last line has no line end; the end of input completes it.
    writeEnd.close();
    ASSERT_TRUE(testsupport::pumpUntil([&] { return collected.closed; }));
    const std::string longest(ControlInput::MAX_LINE_LENGTH, 'x');
    EXPECT_EQ(collected.lines, (std::vector<std::string>{"session active", "power-button-flag 1",
                                                         "", longest, "xxxxxxxxxx", "quit"}));
}

TEST(ControlInput, NamedPipeSurvivesWritersThatComeAndGo) {
    testsupport::TempEndpoints dir;
    const std::string path = dir.path("control");
    std::string error;
    auto input = ControlInput::fromNamedPipe(path, error);
    ASSERT_TRUE(input) << error;
    Collected collected(*input);

    // Two scripts, one after the other, each opening, writing one line and closing.
    for (const char* text : {"session pending\n", "session idle\n"}) {
        FILE* writer = std::fopen(path.c_str(), "w");
        ASSERT_NE(writer, nullptr);
        std::fputs(text, writer);
        std::fclose(writer);
        const std::size_t before = collected.lines.size();
        ASSERT_TRUE(testsupport::pumpUntil([&] { return collected.lines.size() == before + 1; }));
    }
    EXPECT_FALSE(collected.closed);
    // The pipe it created goes with it.
    input.reset();
    EXPECT_FALSE(std::filesystem::exists(path));

    // A plain file is refused, and left alone.
    const std::string plain = dir.path("plain");
    std::fclose(std::fopen(plain.c_str(), "w"));
    EXPECT_FALSE(ControlInput::fromNamedPipe(plain, error));
    EXPECT_EQ(error, plain + " is not a named pipe");
    EXPECT_TRUE(std::filesystem::exists(plain));
}
