#pragma once

#include "foundation/InitSingletonT.h"

#include <QObject>
#include <QString>

namespace dsp_flash {

// Programs the DSP's firmware flash on the SPI bus. This build does not drive the flash: the
// SPI device is never opened and every flash operation reports failure, so constructing the
// hardware layer touches no device.
class DspFlash : public QObject, public shared::InitSingletonT<DspFlash> {
    Q_OBJECT

public:
    static const char* const SPI_BUS_DEVICE_NAME;

    DspFlash();
    ~DspFlash() override;
    DspFlash(const DspFlash&) = delete;
    DspFlash& operator=(const DspFlash&) = delete;

    void connectSPIbus();
    bool wait_tillFlashIsReady();
    bool eraseDSPflash();
    bool updateDSPflash(QString fileName);
    bool checkDSPflash(QString fileName);
    bool readDSPflash(QString fileName);

public slots:
    void handleSPIdata();

private:
    int spiDescriptor_ = -1;
};

} // namespace dsp_flash
