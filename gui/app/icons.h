#pragma once
#include <QIcon>

namespace kivo {

// Our own drawings, painted at whatever size is asked for: one per object
// kind (IDI_VGA .. IDI_USB), the application icon, and the ribbon's images.
QIcon KindIcon(int kind);
QIcon AppIcon();
// The image of a command (its id in app/commands.h), or an empty icon.
QIcon CommandIcon(const QString &id);

} // namespace kivo
