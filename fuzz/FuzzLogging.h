#pragma once

#include <QtGlobal>

#include <cstdlib>

// Fuzz targets run millions of inputs whose failures are all logged: logging is switched off
// before the first log statement sets it up, and Qt's own warnings (a date-time stream naming a
// time spec Qt 6 refuses, for one) are dropped.
inline void silenceLogging() {
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    setenv("LOG4CPLUS_LOGGERS", "ALL:OFF", 1);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

// Without TZ the C library looks at /etc/localtime again on every local-time conversion, which
// the session timing makes several times per input.
inline void fixTimeZone() {
    setenv("TZ", "UTC", 1);
}
