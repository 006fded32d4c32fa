#include "grid/gridctrl.h"

namespace kivo {

CGridCtrl::CGridCtrl(QWidget *parent) : QAbstractScrollArea(parent) {}

} // namespace kivo
