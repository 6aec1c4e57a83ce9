#pragma once

// A temporary directory of plain files standing in for /sys/class/gpio. Exporting a line creates
// nothing here, so every line's attribute files exist from the start, empty.

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
        for (const char* line : {"gpio2", "gpio48", "gpio51", "gpio49", "gpio143"}) {
            QDir(directory_.path()).mkpath(line);
            for (const char* attribute : {"/value", "/direction", "/active_low", "/edge"}) {
                writeFile(line + std::string(attribute), "");
            }
        }
    }

    std::string root() const { return directory_.path().toStdString(); }

    QString path(const std::string& relative) const {
        return QString::fromStdString(root() + "/" + relative);
    }

    // Replaces the file's content (a new, truncating open: the code's streams keep their own
    // positions, so a later write through them would show up behind this content).
    void writeFile(const std::string& relative, const std::string& content) const {
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }

    std::string readFile(const std::string& relative) const {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
    }

private:
    QTemporaryDir directory_;
};

} // namespace halTest
