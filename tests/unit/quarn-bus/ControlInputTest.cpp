#include "quarn-bus/ControlInput.h"
#include "quarn-bus/PosixFile.h"

#include "QuarnBusTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using quarn_bus::ControlInput;
using quarn_bus::PosixFile;

namespace {

struct Collected {
    std::vector<std::string> lines;
    bool closed = false;
};

void collect(ControlInput& input, Collected& collected) {
    QObject::connect(&input, &ControlInput::lineReceived,
                     [&collected](const std::string& line) { collected.lines.push_back(line); });
    QObject::connect(&input, &ControlInput::closed, [&collected]() { collected.closed = true; });
}

void writeAll(const PosixFile& file, const std::string& text) {
    ASSERT_EQ(::write(file.descriptor(), text.data(), text.size()),
              static_cast<ssize_t>(text.size()));
}

} // namespace

TEST(ControlInput, LinesArriveWholeWhateverTheWritesLookLike) {
    PosixFile readEnd;
    PosixFile writeEnd;
    std::string error;
    ASSERT_TRUE(PosixFile::makePipe(readEnd, writeEnd, error)) << error;
    ControlInput input(std::move(readEnd));
    Collected collected;
    collect(input, collected);

    writeAll(writeEnd, "session active\npower-button");
    ASSERT_TRUE(bustest::pumpUntil([&] { return collected.lines.size() == 1; }));
    writeAll(writeEnd, "-flag 1\r\n\nquit");
    ASSERT_TRUE(bustest::pumpUntil([&] { return collected.lines.size() == 3; }));
    EXPECT_FALSE(collected.closed);
    // The last line has no line end; the end of input completes it.
    writeEnd.close();
    ASSERT_TRUE(bustest::pumpUntil([&] { return collected.closed; }));
    EXPECT_EQ(collected.lines,
              (std::vector<std::string>{"session active", "power-button-flag 1", "", "quit"}));
}

TEST(ControlInput, EndlessLineIsCutInsteadOfGrowingWithoutBound) {
    PosixFile readEnd;
    PosixFile writeEnd;
    std::string error;
    ASSERT_TRUE(PosixFile::makePipe(readEnd, writeEnd, error)) << error;
    ControlInput input(std::move(readEnd));
    Collected collected;
    collect(input, collected);

    writeAll(writeEnd, std::string(ControlInput::MAX_LINE_LENGTH + 10, 'x') + "\n");
    writeEnd.close();
    ASSERT_TRUE(bustest::pumpUntil([&] { return collected.closed; }));
    ASSERT_EQ(collected.lines.size(), 2u);
    EXPECT_EQ(collected.lines[0].size(), static_cast<std::size_t>(ControlInput::MAX_LINE_LENGTH));
    EXPECT_EQ(collected.lines[1], std::string(10, 'x'));
}

TEST(ControlInput, NamedPipeSurvivesWritersThatComeAndGo) {
    bustest::TempEndpoints dir;
    const std::string path = dir.path("control");
    PosixFile reader;
    PosixFile keepWriter;
    bool created = false;
    std::string error;
    ASSERT_TRUE(PosixFile::openControlPipe(path, reader, keepWriter, created, error)) << error;
    EXPECT_TRUE(created);
    ControlInput input(std::move(reader));
    Collected collected;
    collect(input, collected);

    // Two scripts, one after the other, each opening, writing one line and closing.
    for (const char* text : {"session pending\n", "session idle\n"}) {
        FILE* writer = std::fopen(path.c_str(), "w");
        ASSERT_NE(writer, nullptr);
        std::fputs(text, writer);
        std::fclose(writer);
        const std::size_t before = collected.lines.size();
        ASSERT_TRUE(bustest::pumpUntil([&] { return collected.lines.size() == before + 1; }));
    }
    EXPECT_FALSE(collected.closed);
    EXPECT_EQ(collected.lines, (std::vector<std::string>{"session pending", "session idle"}));

    // A second open of the existing pipe does not claim to have made it; a plain file is refused.
    PosixFile reader2;
    PosixFile writer2;
    ASSERT_TRUE(PosixFile::openControlPipe(path, reader2, writer2, created, error)) << error;
    EXPECT_FALSE(created);
    const std::string plain = dir.path("plain");
    std::fclose(std::fopen(plain.c_str(), "w"));
    EXPECT_FALSE(PosixFile::openControlPipe(plain, reader2, writer2, created, error));
    EXPECT_EQ(error, plain + " is not a named pipe");
}
