#pragma once

#include <cstdlib>

// Fuzz targets run millions of inputs whose failures are all logged: logging is switched off
// before the first log statement sets it up.
inline void silenceLogging() {
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    setenv("LOG4CPLUS_LOGGERS", "ALL:OFF", 1);
}

// Without TZ the C library looks at /etc/localtime again on every local-time conversion, which
// the session timing makes several times per input.
inline void fixTimeZone() {
    setenv("TZ", "UTC", 1);
}
