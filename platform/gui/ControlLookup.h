#pragma once

#include <QVariant>
#include <QWidget>

namespace qp {

// Dialog forms give each numbered control a "controlId" property; this finds it by that number.
inline constexpr const char* kControlIdProperty = "controlId";

template <typename T> T* FindControl(const QWidget* dialog, int id) {
    for (T* child : dialog->findChildren<T*>()) {
        if (child->property(kControlIdProperty).toInt() == id)
            return child;
    }
    return nullptr;
}

} // namespace qp
