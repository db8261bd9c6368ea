#include "fax/gui/UploadProgressBar.h"

#include "fax/ProgressThrottle.h"

#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <climits>
#include <cstdint>
#include <memory>

namespace qp {
namespace {

// The progress bar counts in int; very large images are shown in proportion. A range of 0..0
// would turn the bar into a busy indicator, so an empty image gets an empty bar instead.
struct ProgressScale {
    std::uint64_t size;
    int Range() const {
        if (size == 0)
            return 1;
        return size <= INT_MAX ? static_cast<int>(size) : 1000000;
    }
    int Value(std::uint64_t position) const {
        if (size <= INT_MAX)
            return static_cast<int>(position);
        return static_cast<int>(position * 1000000.0 / static_cast<double>(size));
    }
};

} // namespace

UploadProgress ProgressBarReporter(QProgressBar* bar, Clock& clock) {
    QPointer<QProgressBar> target = bar;
    // The upload reports from one thread only, so the throttle needs no lock.
    auto throttle = std::make_shared<ProgressThrottle>(clock);
    return [target, throttle](std::uint64_t position, std::uint64_t size) {
        if (!throttle->Pass(position, size))
            return;
        const ProgressScale scale{size};
        QMetaObject::invokeMethod(
            target.data(),
            [target, scale, position] {
                if (target) {
                    target->setRange(0, scale.Range());
                    target->setValue(scale.Value(position));
                }
            },
            Qt::QueuedConnection);
    };
}

} // namespace qp
