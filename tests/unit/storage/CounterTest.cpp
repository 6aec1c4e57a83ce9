#include "storage/Counter.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CounterTest : public ::testing::Test {
protected:
    QByteArray contents() {
        QFile file(fileName);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    }

    QTemporaryDir temp;
    // The directory is made by the counter.
    const QString fileName = temp.path() + "/config.d/file_index_counter.txt";
    // A semaphore name of this test run's own.
    const QString key = temp.path();
};

TEST_F(CounterTest, FileFormat) {
    storage::Counter counter(fileName, key);
    int value = 0;
    EXPECT_TRUE(contents() == "1\n" && counter.increment(value) && value == 2);
    EXPECT_TRUE(counter.save(2147483647) && contents() == "2147483647\n");
    EXPECT_TRUE(counter.increment(value) && value == 1);
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("x1\n") == 3);
    file.close();
    EXPECT_FALSE(counter.load(value) || counter.increment(value));
    EXPECT_EQ(contents(), "x1\n");
}

// Run only by the test below, in processes of their own that name the counter in the
// environment; CTest leaves it out.
TEST(CounterChild, Increments) {
    if (qEnvironmentVariableIsEmpty("COUNTER_FILE")) {
        GTEST_SKIP();
    }
    storage::Counter counter(qEnvironmentVariable("COUNTER_FILE"),
                             qEnvironmentVariable("COUNTER_KEY"));
    int value = 0;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(counter.increment(value));
    }
}

TEST_F(CounterTest, TwoProcessesIncrementingAtOnce) {
    ASSERT_TRUE(storage::Counter(fileName, key).save(0));
    qputenv("COUNTER_FILE", fileName.toLocal8Bit());
    qputenv("COUNTER_KEY", key.toLocal8Bit());
    const std::string child = "timeout 120 " QUARN_TESTS_EMULATOR " " +
                              QCoreApplication::applicationFilePath().toStdString() +
                              " '--gtest_filter=CounterChild.*' >/dev/null";
    // Both at once; the status is the second one's, or the first one's when the second passed.
    EXPECT_EQ(0, std::system((child + " & " + child + " && wait $!").c_str()));
    qunsetenv("COUNTER_FILE");
    EXPECT_EQ(contents(), "2000\n");
}

} // namespace
