#pragma once
#include <QAbstractScrollArea>

namespace kivo {

// The owner-drawn grid control (stand-in until the full control lands).
class CGridCtrl : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit CGridCtrl(QWidget *parent = nullptr);
};

} // namespace kivo
