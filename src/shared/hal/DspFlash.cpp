#include "hal/DspFlash.h"

namespace dsp_flash {

const char* const DspFlash::SPI_BUS_DEVICE_NAME = "/dev/spidev0.0";

DspFlash::DspFlash()
    : QObject(nullptr) {
    connectSPIbus();
}

DspFlash::~DspFlash() = default;

void DspFlash::connectSPIbus() {
    // The bus stays closed: spiDescriptor_ keeps -1, which every operation treats as "no flash".
}

bool DspFlash::wait_tillFlashIsReady() {
    return false;
}

bool DspFlash::eraseDSPflash() {
    return false;
}

bool DspFlash::updateDSPflash(QString fileName) {
    (void)fileName;
    return false;
}

bool DspFlash::checkDSPflash(QString fileName) {
    (void)fileName;
    return false;
}

bool DspFlash::readDSPflash(QString fileName) {
    (void)fileName;
    return false;
}

void DspFlash::handleSPIdata() {}

} // namespace dsp_flash
