#pragma once

// A temporary directory of plain files standing in for /sys/class/gpio. Exporting a line creates
// nothing here, so every line's attribute files exist from the start.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace halTest {

class GpioTree {
public:
    GpioTree() {
        EXPECT_TRUE(directory_.isValid());
        writeFile("export", "");
        writeFile("unexport", "");
        for (int number : {2, 48, 51, 49, 143}) {
            addLine(number);
        }
    }

    void addLine(int number) {
        const std::string line = "gpio" + std::to_string(number);
        QDir(directory_.path()).mkpath(QString::fromStdString(line));
        for (const char* attribute : {"/value", "/direction", "/active_low", "/edge"}) {
            writeFile(line + attribute, "");
        }
    }

    std::string root() const { return directory_.path().toStdString(); }

    std::string path(const std::string& relative) const { return root() + "/" + relative; }

    // Replaces the file's content (a new, truncating open: the code's streams keep their own
    // positions, so a later write through them would show up behind this content).
    void writeFile(const std::string& relative, const std::string& content) const {
        QFile file(QString::fromStdString(path(relative)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }

    std::string readFile(const std::string& relative) const {
        QFile file(QString::fromStdString(path(relative)));
        if (!file.open(QIODevice::ReadOnly)) {
            return "<missing>";
        }
        return file.readAll().toStdString();
    }

    bool exists(const std::string& relative) const {
        return QFile::exists(QString::fromStdString(path(relative)));
    }

    void remove(const std::string& relative) const {
        ASSERT_TRUE(QFile::remove(QString::fromStdString(path(relative))));
    }

private:
    QTemporaryDir directory_;
};

} // namespace halTest
