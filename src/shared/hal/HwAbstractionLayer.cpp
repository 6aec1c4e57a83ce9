#include "hal/HwAbstractionLayer.h"

#include "hal/HwAbstractionLayerQuarn.h"

#include <atomic>

namespace hal {

namespace {
std::atomic<HwAbstractionLayer*> g_injectedLayer{nullptr};
} // namespace

HwAbstractionLayer::~HwAbstractionLayer() = default;

HwAbstractionLayer* HwAbstractionLayer::instance() {
    if (HwAbstractionLayer* injected = g_injectedLayer.load()) {
        return injected;
    }
    static HwAbstractionLayer* const productLayer = new HwAbstractionLayerQuarn();
    return productLayer;
}

void HwAbstractionLayer::setInstance(HwAbstractionLayer* layer) {
    g_injectedLayer.store(layer);
}

} // namespace hal
