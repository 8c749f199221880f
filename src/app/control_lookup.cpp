#include "app/control_lookup.h"

#include <QVariant>
#include <QWidget>

namespace j3 {

QWidget* find_control(const QWidget* window, int id) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QVariant number = w->property("controlId");
        if (number.isValid() && number.toInt() == id) return w;
    }
    return nullptr;
}

}  // namespace j3
