#pragma once

#include "session/SessionTiming.h"

#include <QDataStream>
#include <QString>

// Session-level settings. Not a raw record: it holds the timing and two texts, and travels in
// its stream form.
struct SESSION_CONFIG {
    float energySetting;
    session::SessionTiming timing;
    QString description;
    QString name;
};

// Built on first use, so a session constructed during static initialisation finds it complete.
const SESSION_CONFIG& defaultSessionConfig();

// Energy setting 0.1, default timing, no description and no name.
extern const SESSION_CONFIG DEFAULT_SESSION_CONFIG;

QDataStream& operator<<(QDataStream& stream, const SESSION_CONFIG& config);
QDataStream& operator>>(QDataStream& stream, SESSION_CONFIG& config);
