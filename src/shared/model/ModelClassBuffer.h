#pragma once

#include "foundation/InitSingletonT.h"
#include "foundation/Log.h"
#include "foundation/Qt48DataStream.h"
#include "model/ModelBufferBase.h"

#include <QByteArray>
#include <QDataStream>

namespace model {

// The mirror of a class that travels in its QDataStream form. T needs a default constructor,
// copy assignment and operator>>(QDataStream&, T&).
template <class T>
class ModelClassBuffer : public ModelBufferBase,
                         public shared::InitSingletonT<ModelClassBuffer<T>> {
public:
    typedef shared::InitSingletonT<ModelClassBuffer<T>> BASE_InitSingleton_OF_ModelClassBuffer;

    ModelClassBuffer() = default;

    // Read on the main thread only; the reference stays valid for the buffer's lifetime.
    const T& getData() const { return data; }
    T& getData() { return data; }

protected:
    bool updateFromMessage(const ipc::IpcMessage& message) override {
        // Read into a copy: a broken payload must not leave a half-read (or reset) object where
        // the users look, since no `updated` tells them about it.
        T received(data);
        shared::Qt48DataStream stream(message.data());
        stream >> received;
        if (stream.status() != QDataStream::Ok) {
            LOG_ERROR("model_buffer_logger", "Could not read buffered data from "
                                                 << ipc::ipcMessageName(message.message()) << " ("
                                                 << message.data().size()
                                                 << " bytes); buffered data kept.");
            return false;
        }
        data = received;
        return true;
    }

private:
    T data;
};

} // namespace model
