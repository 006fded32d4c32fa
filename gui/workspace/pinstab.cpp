#include "workspace/pinstab.h"

#include <QLabel>

namespace kivo {

// Stands in for the pin view until it is built.
QWidget *CreatePinsTab(CKivoDoc &, QWidget *parent)
{
    auto *placeholder = new QLabel("The I/O pin view is not available yet.", parent);
    placeholder->setObjectName("pinsPlaceholder");
    placeholder->setAlignment(Qt::AlignCenter);
    return placeholder;
}

} // namespace kivo
