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

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// The seven attributes of the gauge; an empty optional file is written empty, a missing one
// is not written at all.
struct Gauge {
    std::string present = "1";
    std::string status = "Discharging";
    std::string capacity = "57";
    std::string type = "Battery";
    std::string currentNow = "-300000";
    std::string voltageNow = "3800000";
    std::string temp = "250";
};

class DaemonHarness {
public:
    explicit DaemonHarness(const std::vector<std::string>& arguments = {});
    ~DaemonHarness();
    DaemonHarness(const DaemonHarness&) = delete;
    DaemonHarness& operator=(const DaemonHarness&) = delete;

    // initialize() and, unless told otherwise, start(); then waits until the peers' sockets
    // are connected so that nothing published afterwards is lost.
    void startDaemon(bool startTimers = true);

    void writeGauge(const Gauge& gauge);
    void writeAttribute(const std::string& name, const std::string& text);

    // Runs the event loop for a while, or until the condition holds (false on time-out).
    static void spinFor(int milliseconds);
    static bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 3000);

    // What the dsp-manager answers and publishes: the session state and the power-button flag
    // of the instrument configuration. publish* send the change events.
    void setSessionState(int state) { sessionState_ = state; }
    void setPowerButtonFlag(bool set) { powerButtonFlag_ = set; }
    void publishSession(int state);
    void publishInstrumentConfig(bool powerButtonFlag);
    // Waits until both of the daemon's mirrors were initialised by the dsp-manager's answers.
    bool waitForMirrors();

    int shutdownCalls() const;
    QByteArray fileBytes(const QString& relativePath) const;
    QString path(const QString& relativePath) const { return dir_.filePath(relativePath); }

    power_manager::PowerManagerApp& app() { return *app_; }
    FakeHwAbstractionLayer& hal() { return hal_; }
    LogCapture& log() { return log_; }

    // Everything the peers received, in arrival order.
    std::vector<ipc::IpcMessage> events;
    std::vector<ipc::IpcMessage> coreAppResponses;
    std::vector<ipc::IpcMessage> remoteResponses;
    std::vector<ipc::IpcMessage> calAppResponses;
    std::vector<ipc::IpcMessage> dspRequests;

    // The peers' request senders: core-app, the remote com-manager and cal-app (which has no
    // response channel to this daemon).
    ipc::IpcClient& coreApp() { return *coreApp_; }
    ipc::IpcClient& remote() { return *remote_; }
    ipc::IpcClient& calApp() { return *calApp_; }

private:
    std::string endpoint(const char* name) const;
    ipc::IpcMessage sessionMessage(ipc::IPC_MSG message) const;
    ipc::IpcMessage configurationMessage(ipc::IPC_MSG message) const;
    void answerDspRequest(const ipc::IpcMessage& request);

    QTemporaryDir dir_;
    LogCapture log_;
    FakeHwAbstractionLayer hal_;
    std::vector<std::string> arguments_;
    std::vector<char*> argv_;
    int argc_ = 0;
    power_manager::PowerManagerSettings settings_;
    std::unique_ptr<power_manager::PowerManagerApp> app_;
    std::unique_ptr<ipc::IpcClient> coreApp_;
    std::unique_ptr<ipc::IpcClient> remote_;
    std::unique_ptr<ipc::IpcClient> calApp_;
    std::unique_ptr<ipc::IpcServer> dspManager_;
    int sessionState_ = 0;
    bool powerButtonFlag_ = false;
};

} // namespace testsupport
