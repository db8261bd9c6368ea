#include "res/Resources.h"

#include <QtCore/qresource.h>

static void InitQpResources() {
    Q_INIT_RESOURCE(resources);
}

namespace res {

void InitResources() {
    InitQpResources();
}

QIcon IconById(int id) {
    if (id != kIcon130)
        return {};
    InitResources();
    return QIcon(QStringLiteral(":/quillpost/icon130.svg"));
}

} // namespace res
