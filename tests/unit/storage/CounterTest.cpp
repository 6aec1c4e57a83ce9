#include "storage/Counter.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
}

class CounterTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    // The directory is made by the counter.
    const QString fileName = temp.path() + "/config.d/file_index_counter.txt";
    const QString key = QStringLiteral("quarn-counter-test-%1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QRandomGenerator::global()->generate());
};

TEST_F(CounterTest, FileFormat) {
    storage::Counter counter(fileName, key);
    EXPECT_EQ(contents(fileName), "1\n");
    int value = 0;
    EXPECT_TRUE(counter.increment(value));
    EXPECT_EQ(value, 2);
    EXPECT_TRUE(counter.save(2147483647));
    EXPECT_EQ(contents(fileName), "2147483647\n");
    EXPECT_TRUE(counter.increment(value));
    EXPECT_EQ(value, 1);

    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("x1\n");
    file.close();
    EXPECT_FALSE(counter.load(value));
    EXPECT_FALSE(counter.increment(value));
    EXPECT_EQ(contents(fileName), "x1\n");
}

TEST_F(CounterTest, TwoProcessesIncrementingAtOnce) {
    ASSERT_TRUE(storage::Counter(fileName, key).save(0));
    QProcess children[2];
    for (QProcess& child : children) {
        child.start(COUNTER_CHILD, {fileName, key, "1000"});
    }
    for (QProcess& child : children) {
        ASSERT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0);
    }
    EXPECT_EQ(contents(fileName), "2000\n");
}

} // namespace
