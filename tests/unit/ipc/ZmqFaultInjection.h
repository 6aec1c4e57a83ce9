#pragma once

// Makes a chosen zmq_msg_recv call of this test process fail, to reach the error paths of the
// notifier slots that a healthy socket never takes. Every other call goes to libzmq unchanged.

namespace ipctest {

// The next `pass` receives succeed as usual, the one after fails with errorNumber.
void failAReceive(int pass, int errorNumber);

} // namespace ipctest
