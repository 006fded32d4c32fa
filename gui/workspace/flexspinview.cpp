#include "workspace/flexspinview.h"

#include "check/check.h"
#include "model/kivodoc.h"
#include "model/undo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <map>

namespace kivo {

namespace {

// Which text box each Browse button fills.
int BoxOfBrowseButton(int buttonId)
{
    switch (buttonId) {
    case 1019:
        return 1004; // FlexSpin folder
    case 1009:
        return 1008; // additional library folder
    case 1007:
        return 1006; // LoadP2 folder
    case 1015:
        return 1014; // Plan9 folder
    }
    return 0;
}

#ifdef _WIN32
const char *const kFlexSpinFolderLabel = "FlexSpin.exe Folder: ";
const char *const kLoadP2FolderLabel = "LoadP2.exe Folder: ";
#else
const char *const kFlexSpinFolderLabel = "FlexSpin folder:";
const char *const kLoadP2FolderLabel = "loadp2 folder:";
#endif

QString Id(int id) { return QString("id%1").arg(id); }

// The control of each settings field the checks name.
int ControlOfField(const std::string &field)
{
    static const std::pair<const char *, int> fields[] = {
        {"clock_freq", 1027},   {"heap_size", 1026},       {"baud", 1028},           {"opt_level", 1010},
        {"flex_options", 1012}, {"load_p2_options", 1022}, {"flex_spin_path", 1004}, {"load_p2_path", 1006},
        {"library_path", 1008}, {"plan9_path", 1014},      {"sd_clk_pin", 1020},     {"sd_cs_pin", 1002},
        {"sd_mosi_pin", 1023},  {"sd_miso_pin", 1018},
    };
    for (auto [name, id] : fields)
        if (field == name)
            return id;
    return 0;
}

void Mark(QWidget *control, int level, const QString &tip)
{
    if (control->property("findingLevel").toInt() == level && control->toolTip() == tip)
        return;
    control->setProperty("findingLevel", level);
    control->setToolTip(tip);
    const char *kind = qobject_cast<QComboBox *>(control) ? "QComboBox" : "QLineEdit";
    const char *colour = level == 2 ? "#c42b1c" : "#d08000";
    control->setStyleSheet(level ? QString("%1 { border: 2px solid %2; border-radius: 2px; }").arg(kind, colour)
                                 : QString());
}

} // namespace

CFlexSpinView::CFlexSpinView(CKivoDoc &doc, QWidget *parent) : QScrollArea(parent), m_doc(doc)
{
    m_rows = {
        {1027, &CKivoDoc::m_strClockFreq, nullptr},     {1025, nullptr, &CKivoDoc::m_bSetHeapSize},
        {1026, &CKivoDoc::m_strHeapSize, nullptr},      {1004, &CKivoDoc::m_strFlexSpinPath, nullptr},
        {1001, nullptr, &CKivoDoc::m_bUseLibraryPath},  {1008, &CKivoDoc::m_strLibraryPath, nullptr},
        {1003, nullptr, &CKivoDoc::m_bSetOptLevel},     {1010, &CKivoDoc::m_strOptLevel, nullptr},
        {1011, nullptr, &CKivoDoc::m_bUseFlexOptions},  {1012, &CKivoDoc::m_strFlexOptions, nullptr},
        {1006, &CKivoDoc::m_strLoadP2Path, nullptr},    {1016, nullptr, &CKivoDoc::m_bShowTerminal},
        {1024, nullptr, &CKivoDoc::m_bWaitOnExit},      {1013, nullptr, &CKivoDoc::m_bUsePlan9},
        {1014, &CKivoDoc::m_strPlan9Path, nullptr},     {1017, nullptr, &CKivoDoc::m_bSetBaud},
        {1028, &CKivoDoc::m_strBaud, nullptr},          {1021, nullptr, &CKivoDoc::m_bUseLoadP2Options},
        {1022, &CKivoDoc::m_strLoadP2Options, nullptr}, {1029, nullptr, &CKivoDoc::m_bMountSd},
        {1020, &CKivoDoc::m_strSdClkPin, nullptr},      {1002, &CKivoDoc::m_strSdCsPin, nullptr},
        {1023, &CKivoDoc::m_strSdMosiPin, nullptr},     {1018, &CKivoDoc::m_strSdMisoPin, nullptr},
    };

    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    auto *form = new QWidget;
    form->setObjectName("settingsForm");
    form->setBackgroundRole(QPalette::Button);
    form->setAutoFillBackground(true);
    auto *outer = new QVBoxLayout(form);
    m_findings = new QLabel(form);
    m_findings->setObjectName("settingsFindings");
    m_findings->setWordWrap(true);
    m_findings->setTextFormat(Qt::PlainText);
    QPalette findingsPalette = m_findings->palette();
    findingsPalette.setColor(QPalette::WindowText, QColor(0xc4, 0x2b, 0x1c));
    m_findings->setPalette(findingsPalette);
    m_findings->hide();
    outer->addWidget(m_findings);

    // "P2"
    auto *p2 = new QGroupBox("P2", form);
    auto *p2Grid = new QGridLayout(p2);
    p2Grid->addWidget(new QLabel("P2 Core Frequency:", p2), 0, 0);
    p2Grid->addWidget(Combo(1027, {"100000000", "160000000", "200000000", "297000000", "300000000"}), 0, 1);
    p2Grid->addWidget(new QLabel("Hz", p2), 0, 2);
    p2Grid->addWidget(Check(1025, "Specify Heap Size:"), 1, 0);
    p2Grid->addWidget(Edit(1026), 1, 1);
    p2Grid->setColumnStretch(3, 1);
    outer->addWidget(p2);

    // "FlexSpin"
    auto *flex = new QGroupBox("FlexSpin", form);
    auto *flexLayout = new QVBoxLayout(flex);
    auto *flexRow = new QHBoxLayout;
    flexRow->addWidget(new QLabel(kFlexSpinFolderLabel, flex));
    flexRow->addWidget(Edit(1004), 1);
    flexRow->addWidget(BrowseButton(1019));
    flexLayout->addLayout(flexRow);
    auto *flexOptions = new QGroupBox("Options", flex);
    auto *fo = new QGridLayout(flexOptions);
    fo->addWidget(Check(1001, "-L Use Additional Library Folder"), 0, 0);
    fo->addWidget(Edit(1008), 0, 1);
    fo->addWidget(BrowseButton(1009), 0, 2);
    fo->addWidget(Check(1003, "-O Specify Optimization Level"), 1, 0);
    // The list is sorted; these entries already are.
    fo->addWidget(Combo(1010, {"0", "1", "2", "2,!cse"}), 1, 1, Qt::AlignLeft);
    fo->addWidget(Check(1011, "Add these additional options:"), 2, 0);
    fo->addWidget(Edit(1012), 2, 1, 1, 2);
    fo->setColumnStretch(1, 1);
    flexLayout->addWidget(flexOptions);
    outer->addWidget(flex);

    // "LoadP2"
    auto *load = new QGroupBox("LoadP2", form);
    auto *loadLayout = new QVBoxLayout(load);
    auto *loadRow = new QHBoxLayout;
    loadRow->addWidget(new QLabel(kLoadP2FolderLabel, load));
    loadRow->addWidget(Edit(1006), 1);
    loadRow->addWidget(BrowseButton(1007));
    loadLayout->addLayout(loadRow);
    auto *loadOptions = new QGroupBox("Options", load);
    auto *lo = new QGridLayout(loadOptions);
    lo->addWidget(Check(1016, "-t Show Terminal Window"), 0, 0, 1, 3);
    lo->addWidget(Check(1024, "-k Wait for Terminal input before exit"), 1, 0, 1, 3);
    lo->addWidget(Check(1013, "-9 Use Plan9 to access PC Folder:"), 2, 0);
    lo->addWidget(Edit(1014), 2, 1);
    lo->addWidget(BrowseButton(1015), 2, 2);
    lo->addWidget(Check(1017, "-b Specify terminal baud"), 3, 0);
    auto *baudRow = new QHBoxLayout;
    baudRow->addWidget(Combo(1028, {"115200", "230400", "1000000", "2000000"}));
    baudRow->addWidget(new QLabel("Note:  Do not use with Debug", loadOptions));
    baudRow->addStretch(1);
    lo->addLayout(baudRow, 3, 1, 1, 2);
    lo->addWidget(Check(1021, "Add these additional options:"), 4, 0);
    lo->addWidget(Edit(1022), 4, 1, 1, 2);
    lo->setColumnStretch(1, 1);
    loadLayout->addWidget(loadOptions);
    outer->addWidget(load);

    // "SD Card"
    auto *sd = new QGroupBox("SD Card", form);
    auto *sdRow = new QHBoxLayout(sd);
    sdRow->addWidget(Check(1029, "Mount SD Card"));
    sdRow->addSpacing(16);
    sdRow->addWidget(new QLabel("Pins:", sd));
    for (auto [id, label] : {std::pair{1020, "CLK"}, {1002, "CS"}, {1023, "MOSI"}, {1018, "MISO"}}) {
        sdRow->addWidget(new QLabel(label, sd));
        QLineEdit *pin = Edit(id);
        pin->setMaximumWidth(pin->fontMetrics().horizontalAdvance("00000") + 12);
        sdRow->addWidget(pin);
    }
    sdRow->addStretch(1);
    outer->addWidget(sd);

    auto *note =
        new QLabel("Note:  If you change any of the paths above, you must Generate files again to take effect.", form);
    note->setWordWrap(true);
    outer->addWidget(note);
    outer->addStretch(1);
    form->setMaximumWidth(820);
    setWidget(form);
    viewport()->setBackgroundRole(QPalette::Button);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The initial fill, then the refresh that follows it.
    for (auto &row : m_rows)
        Show(row);
    m_viewToken = m_doc.AddView([this] { OnUpdate(); });
    OnUpdate();
}

CFlexSpinView::~CFlexSpinView() { m_doc.RemoveView(m_viewToken); }

QLineEdit *CFlexSpinView::Edit(int id)
{
    auto *e = new QLineEdit;
    e->setObjectName(Id(id));
    connect(e, &QLineEdit::editingFinished, this, [this, e] { CommitControl(e); });
    for (auto &row : m_rows)
        if (row.id == id)
            row.control = e;
    return e;
}

QComboBox *CFlexSpinView::Combo(int id, const QStringList &entries)
{
    auto *c = new QComboBox;
    c->setObjectName(Id(id));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->addItems(entries);
    c->setMinimumContentsLength(10);
    connect(c->lineEdit(), &QLineEdit::editingFinished, this, [this, c] { CommitControl(c); });
    connect(c, &QComboBox::activated, this, [this, c] { CommitControl(c); });
    for (auto &row : m_rows)
        if (row.id == id)
            row.control = c;
    return c;
}

QCheckBox *CFlexSpinView::Check(int id, const QString &label)
{
    auto *c = new QCheckBox(label);
    c->setObjectName(Id(id));
    connect(c, &QCheckBox::clicked, this, [this, c] { CommitControl(c); });
    for (auto &row : m_rows)
        if (row.id == id)
            row.control = c;
    return c;
}

QAbstractButton *CFlexSpinView::BrowseButton(int buttonId)
{
    auto *b = new QPushButton("Browse");
    b->setObjectName(Id(buttonId));
    connect(b, &QPushButton::clicked, this, [this, buttonId] { Browse(buttonId); });
    return b;
}

QWidget *CFlexSpinView::Control(int id) const { return widget()->findChild<QWidget *>(Id(id)); }

QString CFlexSpinView::Read(const Row &row) const
{
    if (auto *e = qobject_cast<QLineEdit *>(row.control))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(row.control))
        return c->currentText();
    if (auto *c = qobject_cast<QCheckBox *>(row.control))
        return c->isChecked() ? "1" : "0";
    return {};
}

void CFlexSpinView::Show(Row &row)
{
    QString value = row.text ? QString::fromStdString(m_doc.*row.text) : (m_doc.*row.flag ? "1" : "0");
    if (auto *e = qobject_cast<QLineEdit *>(row.control)) {
        if (e->text() != value)
            e->setText(value);
    } else if (auto *c = qobject_cast<QComboBox *>(row.control)) {
        // The list opens on the project's entry when it has one.
        int index = c->findText(value);
        if (c->currentIndex() != index)
            c->setCurrentIndex(index);
        if (c->currentText() != value)
            c->setEditText(value);
    } else if (auto *c = qobject_cast<QCheckBox *>(row.control)) {
        c->setChecked(value == "1");
    }
    row.shown = value;
}

bool CFlexSpinView::Commit(Row &row)
{
    QString value = Read(row);
    if (value == row.shown)
        return false;
    CDocChange change(m_doc, "Change Setting");
    if (row.text)
        m_doc.*row.text = value.toStdString();
    else
        m_doc.*row.flag = value == "1" ? 1 : 0;
    row.shown = value;
    change.Commit();
    return true;
}

void CFlexSpinView::CommitControl(QWidget *control)
{
    if (m_committing)
        return;
    for (auto &row : m_rows) {
        if (row.control != control)
            continue;
        m_committing = true;
        bool changed = Commit(row);
        m_committing = false;
        if (changed)
            m_doc.UpdateAllViews();
        return;
    }
}

void CFlexSpinView::OnUpdate()
{
    // What the user changed here goes into the project (a step per field);
    // the rest is shown as the project now holds it, so that two windows on
    // one project agree.
    m_committing = true;
    for (auto &row : m_rows)
        Commit(row);
    for (auto &row : m_rows)
        Show(row);
    m_committing = false;
    ShowFindings();
}

void CFlexSpinView::ShowFindings()
{
    std::map<int, std::pair<int, QStringList>> marks; // control id: level (2 error, 1 warning), texts
    QStringList lines;
    for (const Finding &f : CheckProject(m_doc)) {
        if (f.object >= 0)
            continue;
        const bool error = f.severity == Severity::Error;
        lines << QString::fromStdString(FindingLine(f));
        if (int id = ControlOfField(f.field)) {
            auto &mark = marks[id];
            mark.first = std::max(mark.first, error ? 2 : 1);
            mark.second << QString::fromStdString(f.text);
        }
    }
    for (auto &row : m_rows) {
        if (qobject_cast<QCheckBox *>(row.control))
            continue;
        auto it = marks.find(row.id);
        Mark(row.control, it == marks.end() ? 0 : it->second.first,
             it == marks.end() ? QString() : it->second.second.join('\n'));
    }
    m_findings->setText(lines.join('\n'));
    m_findings->setVisible(!lines.isEmpty());
}

QWidget *CFlexSpinView::FindingControl(const std::string &field) const
{
    int id = ControlOfField(field);
    return id ? Control(id) : nullptr;
}

bool CFlexSpinView::FocusFinding(const std::string &field)
{
    QWidget *control = FindingControl(field);
    if (!control)
        return false;
    ensureWidgetVisible(control);
    control->setFocus(Qt::OtherFocusReason);
    if (auto *combo = qobject_cast<QComboBox *>(control))
        combo->lineEdit()->selectAll();
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        edit->selectAll();
    return true;
}

void CFlexSpinView::Browse(int buttonId)
{
    auto *box = qobject_cast<QLineEdit *>(Control(BoxOfBrowseButton(buttonId)));
    if (!box)
        return;
    QString folder = QFileDialog::getExistingDirectory(this, "Browse For Folder", box->text());
    if (!folder.isEmpty()) {
        box->setText(QDir::toNativeSeparators(folder));
        CommitControl(box);
    }
}

void CFlexSpinView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    horizontalScrollBar()->setValue(0);
}

} // namespace kivo
