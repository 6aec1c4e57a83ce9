#pragma once

#include "foundation/InitSingletonT.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace quarn_system {

// The version records the instrument's programs leave in a common directory, one text file per
// program: application name, version, build date and source revision, one per line.
class VersionInfo : public QObject, public shared::InitSingletonT<VersionInfo> {
    Q_OBJECT

public:
    static const QString VERSION_INFO_PATH_NAME;
    static const QString VERSION_INFO_SUFFIX;
    static const QString BASE_NAME_PLATFORM;
    static const QString BASE_NAME_HTTP_SERVER;
    static const QString BASE_NAME_USB_STORAGE_MANAGER;
    static const QString BASE_NAME_CORE_APP;
    static const QString BASE_NAME_PWR_MANAGER;
    static const QString BASE_NAME_COM_MANAGER;
    static const QString BASE_NAME_DSP;
    static const QString BASE_NAME_DSP_MANAGER;

    VersionInfo() = default;

    // Writes [appName, version, buildDate, revision] as baseName's record and logs the release
    // line, whether the write succeeded or not.
    static void createVersionFile(QString baseName, QString appName, QString version,
                                  QString buildDate, QString revision);
    // Creates the directory if needed and replaces the record with lines, one per line.
    static bool writeVersionInfo(QString baseName, QStringList& lines);
    // Appends the record's lines to lines (which is not cleared); false when it cannot be opened.
    static bool readVersionInfo(QString baseName, QStringList& lines);
    // True when the record could be read; equal then tells whether it holds the same lines in
    // any order. lines is left sorted; equal is untouched on failure.
    static bool compareVersionInfo(QString baseName, QStringList& lines, bool& equal);
    // The records of all programs, without the platform record.
    static QList<QStringList> readAllVersionInfo();
    // The platform record, or the placeholder ["Firmware", "?.?", " ", " "] when there is none.
    static QStringList readPlatformVersionInfo();

    // Test seam: the directory the records live in; VERSION_INFO_PATH_NAME unless set, and again
    // after setting an empty text. A missing trailing slash is added. Set it before other
    // threads use the class.
    static void setVersionInfoDirectory(const QString& directory);
    static QString versionInfoDirectory();

private:
    static QString fileName(const QString& baseName);
};

} // namespace quarn_system
