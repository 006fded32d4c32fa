#pragma once

class QWidget;

namespace kivo {

class CKivoDoc;

// The "I/O Pin View" tab's widget for `doc`.
QWidget *CreatePinsTab(CKivoDoc &doc, QWidget *parent);

} // namespace kivo
