#pragma once

// The whole daemon assembled in the test process over a temporary directory: a fake power
// supply directory, a PWM directory, temporary bus addresses, a shutdown command that appends
// to a file, the fake hardware layer, and peers playing core-app, the remote com-manager, a
// client without a response channel and the dsp-manager.

#include "PowerManagerApp.h"
#include "ipc/IpcClient.h"
#include "ipc/IpcServer.h"
#include "support/FakeHwAbstractionLayer.h"
#include "support/LogCapture.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// What the gauge reports; its type, voltage (3.8 V) and temperature (25.0 °C) never change.
struct Gauge {
    int capacity = 57;
    const char* status = "Discharging";
    int currentNow = -300000;
    int present = 1;
};

// Writes the gauge's seven attribute files into directory (which ends with a slash), each text
// followed by a line end; truncated in place, so files the daemon holds open see the change.
void writeGauge(const QString& directory, const Gauge& gauge = {});
void writeFile(const QString& path, const QByteArray& bytes);

class DaemonHarness {
public:
    explicit DaemonHarness(const std::vector<std::string>& arguments = {});
    ~DaemonHarness();
    DaemonHarness(const DaemonHarness&) = delete;
    DaemonHarness& operator=(const DaemonHarness&) = delete;

    // initialize() and, unless told otherwise, start(), with the dsp-manager answering this
    // session state and power-button flag; waits until the peers' sockets are connected so that
    // nothing published afterwards is lost. True once both of the daemon's mirrors were
    // initialised by the dsp-manager's answers.
    bool startDaemon(bool startTimers = true, int sessionState = 0, bool powerButtonFlag = false);

    void writeGauge(const Gauge& gauge) { testsupport::writeGauge(path("gauge/"), gauge); }

    // The dsp-manager's change events of the session state and of the power-button flag of the
    // instrument configuration.
    void publishSession(int state);
    void publishInstrumentConfig(bool powerButtonFlag);

    int shutdownCalls() const;
    QByteArray fileBytes(const QString& relativePath) const;
    QString path(const QString& relativePath) const { return dir_.filePath(relativePath); }
    power_manager::PowerManagerApp& app() { return *app_; }

private:
    QTemporaryDir dir_;

public:
    LogCapture log;
    FakeHwAbstractionLayer hal;
    // The peers' request senders: core-app, the remote com-manager and cal-app (which has no
    // response channel to this daemon).
    std::unique_ptr<ipc::IpcClient> coreApp, remote, calApp;
    // Everything the peers received, in arrival order.
    std::vector<ipc::IpcMessage> events, coreAppResponses, remoteResponses, calAppResponses,
        dspRequests;

private:
    std::string endpoint(const char* name) const { return "ipc://" + path(name).toStdString(); }
    ipc::IpcMessage sessionMessage(ipc::IPC_MSG message) const;
    ipc::IpcMessage configurationMessage(ipc::IPC_MSG message) const;

    std::vector<std::string> arguments_;
    std::vector<char*> argv_;
    int argc_ = 0;
    power_manager::PowerManagerSettings settings_;
    std::unique_ptr<power_manager::PowerManagerApp> app_;
    std::unique_ptr<ipc::IpcServer> dspManager_;
    int sessionState_ = 0;
    bool powerButtonFlag_ = false;
};

} // namespace testsupport
