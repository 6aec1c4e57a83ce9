#pragma once

#include "foundation/InitSingletonT.h"
#include "foundation/Log.h"
#include "model/ModelBufferBase.h"
#include "model/ModelDefaults.h"

#include <QByteArray>

#include <cstring>
#include <type_traits>

namespace model {

// The mirror of a plain fixed-size record that travels as its raw byte image.
template <class T>
class ModelBuffer : public ModelBufferBase, public shared::InitSingletonT<ModelBuffer<T>> {
    static_assert(std::is_trivially_copyable<T>::value,
                  "ModelBuffer holds records that travel as their byte image");

public:
    typedef shared::InitSingletonT<ModelBuffer<T>> BASE_InitSingleton_OF_ModelBuffer;

    ModelBuffer() {
        // Zero first: the default's assignment need not copy padding bytes, and the whole image
        // is what goes back onto the bus.
        std::memset(static_cast<void*>(&data), 0, sizeof(T));
        data = ModelDefault<T>::value();
    }

    // Read on the main thread only; the reference stays valid for the buffer's lifetime.
    const T& getData() const { return data; }
    T& getData() { return data; }

protected:
    bool updateFromMessage(const ipc::IpcMessage& message) override {
        const QByteArray payload = message.data();
        if (payload.size() != static_cast<qsizetype>(sizeof(T))) {
            LOG_ERROR("model_buffer_logger", "Wrong buffered data size in "
                                                 << ipc::ipcMessageName(message.message())
                                                 << ", expected " << sizeof(T)
                                                 << " bytes but received " << payload.size()
                                                 << " bytes; buffered data kept.");
            return false;
        }
        std::memcpy(static_cast<void*>(&data), payload.constData(), sizeof(T));
        return true;
    }

private:
    T data;
};

} // namespace model
