#include "ipc/ShortFrameReport.h"

#include "foundation/Log.h"

namespace ipc {

ShortFrameReport::ShortFrameReport(const char* loggerName, const char* kind)
    : loggerName_(loggerName)
    , kind_(kind) {}

void ShortFrameReport::dropped(std::size_t size) {
    if (sinceLastLine_.isValid() && sinceLastLine_.elapsed() < QUIET_PERIOD_MS) {
        ++unreported_;
        return;
    }
    if (unreported_ > 0) {
        LOG_ERROR(loggerName_, "Dropped " << unreported_ << " more frames shorter than the "
                                          << "8-byte header since the last report");
        unreported_ = 0;
    }
    LOG_ERROR(loggerName_, "Dropped " << kind_ << " frame of " << size
                                      << " bytes, shorter than the 8-byte header");
    sinceLastLine_.start();
}

} // namespace ipc
