#pragma once
// CDavaroGrid: the grid of the pin view.
#include "grid/gridctrl.h"

namespace kivo {

class CDavaroGrid : public CGridCtrl
{
    Q_OBJECT
public:
    explicit CDavaroGrid(QWidget *parent = nullptr) : CGridCtrl(parent) {}

    // Passed through unchanged: the pin view takes no part in edits.
    void OnEndEditCell(int row, int col, const QString &text) override;
};

} // namespace kivo
