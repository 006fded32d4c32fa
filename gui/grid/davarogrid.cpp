#include "grid/davarogrid.h"

namespace kivo {

void CDavaroGrid::OnEndEditCell(int row, int col, const QString &text) { CGridCtrl::OnEndEditCell(row, col, text); }

} // namespace kivo
