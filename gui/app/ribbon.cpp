#include "app/ribbon.h"

#include "app/commands.h"
#include "app/icons.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kivo {

namespace {

// A command that has no handler yet is not offered at all.
bool Inactive(const QAction *action) { return action && action->property("inactive").toBool(); }

// The letter after the text's single "&", upper case; null when none.
QChar Mnemonic(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&')
            return text[i + 1].toUpper();
        ++i;
    }
    return {};
}

// A check box bound to a checkable action in both directions.
QCheckBox *CheckFor(QAction *action, QWidget *parent)
{
    auto *box = new QCheckBox(action->text(), parent);
    box->setVisible(!Inactive(action));
    box->setObjectName("cmd:" + action->objectName());
    auto sync = [box, action] {
        box->setChecked(action->isChecked());
        box->setEnabled(action->isEnabled());
    };
    sync();
    QObject::connect(action, &QAction::changed, box, sync);
    QObject::connect(box, &QCheckBox::clicked, action, [action] { action->trigger(); });
    return box;
}

} // namespace

// ---- the application menu ----

CAppMenu::CAppMenu(const ActionLookup &action, QWidget *parent) : QFrame(parent, Qt::Popup)
{
    setObjectName("appMenu");
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto *outer = new QVBoxLayout(this);
    auto *columns = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->setSpacing(0);
    for (const char *id : {cmd::kFileNewFrame, cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kFileSaveAs})
        if (!Inactive(action(id)))
            left->addWidget(Command(action(id), this));

    // "Print" opens its sub-items under the label that says what they do.
    QToolButton *print = Command(action(cmd::kFilePrint), this);
    auto *printMenu = new QMenu(print);
    const QString heading = "Preview and print the document";
    printMenu->addSection(heading);
    // A section heading does not widen the menu by itself; the bold heading
    // must not be cut.
    QFont bold = printMenu->font();
    bold.setBold(true);
    printMenu->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(heading) + 48);
    for (const char *id : {cmd::kFileQuickPrint, cmd::kFilePrintPreview, cmd::kFilePrintSetup})
        if (!Inactive(action(id)))
            printMenu->addAction(action(id));
    print->setMenu(printMenu);
    print->setPopupMode(QToolButton::MenuButtonPopup);
    left->addWidget(print);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    left->addWidget(line);
    left->addWidget(Command(action(cmd::kProjectSimulate), this));
    left->addWidget(Command(action(cmd::kProjectVerify), this));
    left->addWidget(Command(action(cmd::kFileClose), this));
    left->addStretch(1);
    columns->addLayout(left);

    auto *separator = new QFrame(this);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    columns->addWidget(separator);

    auto *recent = new QWidget(this);
    recent->setFixedWidth(300);
    m_recentLayout = new QVBoxLayout(recent);
    m_recentLayout->setContentsMargins(4, 0, 0, 0);
    m_recentLayout->setSpacing(0);
    auto *title = new QLabel("Recent Documents", recent);
    QFont f = title->font();
    f.setBold(true);
    title->setFont(f);
    m_recentLayout->addWidget(title);
    m_recentLayout->addStretch(1);
    columns->addWidget(recent);
    outer->addLayout(columns);

    auto *foot = new QHBoxLayout;
    foot->addStretch(1);
    QToolButton *exit = Command(action(cmd::kFileExit), this);
    foot->addWidget(exit);
    outer->addLayout(foot);
}

QToolButton *CAppMenu::Command(QAction *action, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setDefaultAction(action);
    b->setObjectName("menu:" + action->objectName());
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setIconSize(QSize(24, 24));
    b->setAutoRaise(true);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    b->setMinimumWidth(150);
    connect(action, &QAction::triggered, this, &QWidget::hide);
    return b;
}

void CAppMenu::SetRecentFiles(const QStringList &shown)
{
    for (QPushButton *b : m_recent)
        delete b;
    m_recent.clear();
    for (int i = 0; i < shown.size(); ++i) {
        auto *b = new QPushButton(this);
        b->setText(QString("&%1 %2").arg(i + 1).arg(QString(shown[i]).replace("&", "&&")));
        b->setFlat(true);
        b->setStyleSheet("QPushButton { text-align: left; padding: 3px 6px; border: none; }"
                         "QPushButton:hover { background: palette(highlight); }");
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(b, &QPushButton::clicked, this, [this, i] {
            hide();
            emit recentChosen(i);
        });
        m_recentLayout->insertWidget(1 + i, b);
        m_recent << b;
    }
}

// ---- the ribbon ----

CRibbon::CRibbon(const ActionLookup &action, QMenu *styleMenu, QWidget *parent) : QWidget(parent), m_action(action)
{
    setObjectName("ribbon");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *top = new QWidget(this);
    top->setObjectName("ribbonTop");
    top->setAttribute(Qt::WA_StyledBackground);
    auto *topGrid = new QGridLayout(top);
    topGrid->setContentsMargins(4, 2, 4, 0);
    topGrid->setHorizontalSpacing(4);
    topGrid->setVerticalSpacing(0);

    m_appButton = new QToolButton(top);
    m_appButton->setObjectName("appButton");
    m_appButton->setToolTip("Application menu");
    connect(m_appButton, &QToolButton::clicked, this, &CRibbon::ShowAppMenu);
    topGrid->addWidget(m_appButton, 0, 0, 2, 1, Qt::AlignTop);

    // Quick access: New, Open, Save, Quick Print.
    auto *quick = new QHBoxLayout;
    quick->setSpacing(1);
    for (const char *id :
         {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kEditUndo, cmd::kEditRedo, cmd::kFileQuickPrint}) {
        auto *b = new QToolButton(top);
        b->setDefaultAction(action(id));
        b->setObjectName(QString("quick:") + id);
        b->setAutoRaise(true);
        b->setIconSize(QSize(16, 16));
        quick->addWidget(b);
    }
    quick->addStretch(1);
    topGrid->addLayout(quick, 0, 1);

    auto *tabRow = new QHBoxLayout;
    m_categories = new QTabBar(top);
    m_categories->setObjectName("ribbonCategories");
    m_categories->setDrawBase(false);
    m_categories->setExpanding(false);
    tabRow->addWidget(m_categories);
    tabRow->addStretch(1);
    m_styleButton = new QToolButton(top);
    m_styleButton->setObjectName("styleButton");
    m_styleButton->setText("Style");
    m_styleButton->setMenu(styleMenu);
    m_styleButton->setPopupMode(QToolButton::InstantPopup);
    m_styleButton->setAutoRaise(true);
    tabRow->addWidget(m_styleButton);
    auto *about = new QToolButton(top);
    about->setObjectName("aboutButton");
    about->setDefaultAction(action(cmd::kHelpAbout));
    about->setToolButtonStyle(Qt::ToolButtonIconOnly);
    about->setAutoRaise(true);
    tabRow->addWidget(about);
    topGrid->addLayout(tabRow, 1, 1);
    layout->addWidget(top);

    m_body = new QStackedWidget(this);
    m_body->setObjectName("ribbonBody");
    m_body->setAttribute(Qt::WA_StyledBackground);
    layout->addWidget(m_body);
    connect(m_categories, &QTabBar::currentChanged, m_body, &QStackedWidget::setCurrentIndex);

    // "P2 Code Generator"
    QWidget *gen = Category("P2 Code Generator");
    Panel(gen, "Code Generator")->addWidget(Large(cmd::kProjectGenerate, gen));
    Panel(gen, "FlexSpin")->addWidget(Large(cmd::kProjectCompile, gen));
    Panel(gen, "LoadP2")->addWidget(Large(cmd::kProjectLoad, gen));
    QHBoxLayout *simulator = Panel(gen, "Simulator");
    simulator->addWidget(Large(cmd::kProjectSimulate, gen));
    simulator->addWidget(Large(cmd::kProjectVerify, gen));
    Panel(gen, "FlexProp")->addWidget(Large(cmd::kProjectFlexProp, gen));
    auto *outputChecks = new QVBoxLayout;
    outputChecks->setSpacing(0);
    for (const char *id : {cmd::kViewBuildPane, cmd::kViewTerminalPane, cmd::kProjectExternalTerminal})
        outputChecks->addWidget(CheckFor(action(id), gen));
    outputChecks->addStretch(1);
    Panel(gen, "Output")->addLayout(outputChecks);

    // "Home"
    QWidget *home = Category("Home");
    QHBoxLayout *clip = Panel(home, "Clipboard");
    clip->addWidget(Large(cmd::kEditPaste, home));
    auto *clipSmall = new QVBoxLayout;
    clipSmall->setSpacing(0);
    for (const char *id : {cmd::kEditCut, cmd::kEditCopy, cmd::kEditSelectAll})
        clipSmall->addWidget(Small(id, home));
    clip->addLayout(clipSmall);
    QHBoxLayout *undo = Panel(home, "Undo");
    auto *undoSmall = new QVBoxLayout;
    undoSmall->setSpacing(0);
    for (const char *id : {cmd::kEditUndo, cmd::kEditRedo})
        undoSmall->addWidget(Small(id, home));
    undoSmall->addStretch(1);
    undo->addLayout(undoSmall);
    Panel(home, "Insert")->addWidget(Large(cmd::kEditInsertObject, home));
    QHBoxLayout *view = Panel(home, "View");
    auto *viewChecks = new QVBoxLayout;
    viewChecks->addWidget(CheckFor(action(cmd::kViewStatusBar), home));
    viewChecks->addWidget(CheckFor(action(cmd::kViewCaptionBar), home));
    viewChecks->addStretch(1);
    view->addLayout(viewChecks);
    QHBoxLayout *find = Panel(home, "Find/Replace");
    auto *findSmall = new QVBoxLayout;
    findSmall->setSpacing(0);
    for (const char *id : {cmd::kEditFind, cmd::kEditFindNext, cmd::kEditReplace})
        findSmall->addWidget(Small(id, home));
    find->addLayout(findSmall);
    QToolButton *windows = Large(cmd::kWindowManage, home);
    auto *windowMenu = new QMenu(windows);
    windowMenu->addAction(action(cmd::kWindowNew));
    windows->setMenu(windowMenu);
    windows->setPopupMode(QToolButton::MenuButtonPopup);
    // Room for the whole caption beside the menu arrow.
    windows->setMinimumWidth(windows->fontMetrics().horizontalAdvance(windows->text().remove('&')) + 34);
    Panel(home, "Window")->addWidget(windows);

    for (int i = 0; i < m_body->count(); ++i)
        if (auto *l = qobject_cast<QHBoxLayout *>(m_body->widget(i)->layout()))
            l->addStretch(1);
    // A panel whose commands are all without a handler is left out.
    for (QWidget *panel : m_body->findChildren<QWidget *>("ribbonPanel")) {
        bool offered = false;
        for (QAbstractButton *b : panel->findChildren<QAbstractButton *>())
            offered = offered || b->isVisibleTo(panel);
        panel->setVisible(offered);
    }
    connect(m_categories, &QTabBar::currentChanged, this, [this] { ShowKeyTips(false); });
    SetWindows7(false);
}

QWidget *CRibbon::Category(const QString &title)
{
    auto *page = new QWidget(m_body);
    auto *row = new QHBoxLayout(page);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(0);
    m_body->addWidget(page);
    m_categories->addTab(title);
    return page;
}

QHBoxLayout *CRibbon::Panel(QWidget *category, const QString &caption)
{
    auto *panel = new QWidget(category);
    panel->setObjectName("ribbonPanel");
    panel->setAttribute(Qt::WA_StyledBackground);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(6, 2, 6, 1);
    column->setSpacing(1);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    column->addLayout(buttons, 1);
    auto *label = new QLabel(caption, panel);
    label->setObjectName("ribbonPanelCaption");
    label->setAlignment(Qt::AlignCenter);
    column->addWidget(label);
    static_cast<QHBoxLayout *>(category->layout())->addWidget(panel);
    return buttons;
}

QToolButton *CRibbon::Large(const QString &id, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setDefaultAction(m_action(id));
    b->setObjectName("cmd:" + id);
    b->setVisible(!Inactive(b->defaultAction()));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setIconSize(QSize(32, 32));
    b->setMinimumWidth(56);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    return b;
}

QToolButton *CRibbon::Small(const QString &id, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setDefaultAction(m_action(id));
    b->setObjectName("cmd:" + id);
    b->setVisible(!Inactive(b->defaultAction()));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setIconSize(QSize(16, 16));
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return b;
}

QWidget *CRibbon::PanelControl(const QString &id) const { return m_body->findChild<QWidget *>("cmd:" + id); }

void CRibbon::SetWindows7(bool on)
{
    m_windows7 = on;
    // The orb stands over both rows; the "File" tab sits in the tab row.
    if (auto *grid = qobject_cast<QGridLayout *>(m_appButton->parentWidget()->layout()))
        grid->setAlignment(m_appButton, on ? Qt::AlignBottom : Qt::AlignTop);
    if (on) {
        m_appButton->setIcon(QIcon());
        m_appButton->setText("File");
        m_appButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_appButton->setFixedSize(54, 24);
        m_appButton->setStyleSheet("QToolButton { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #3a7bd5,"
                                   " stop:1 #1d5fb0); color: white; border: 1px solid #174e92;"
                                   " border-top-left-radius: 3px; border-top-right-radius: 3px; }");
    } else {
        m_appButton->setText(QString());
        m_appButton->setIcon(AppIcon());
        m_appButton->setIconSize(QSize(34, 34));
        m_appButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
        m_appButton->setFixedSize(44, 44);
        m_appButton->setStyleSheet("QToolButton { border: 1px solid rgba(0,0,0,60); border-radius: 22px;"
                                   " background: qradialgradient(cx:0.5, cy:0.35, radius:0.7, fx:0.5, fy:0.3,"
                                   " stop:0 #ffffff, stop:1 #b8c4d6); }"
                                   "QToolButton:hover { background: qradialgradient(cx:0.5, cy:0.35, radius:0.7,"
                                   " fx:0.5, fy:0.3, stop:0 #fff8e0, stop:1 #f0c060); }");
    }
}

void CRibbon::ShowKeyTips(bool on)
{
    qDeleteAll(m_keyTips);
    m_keyTips.clear();
    if (!on)
        return;
    auto tip = [this](QWidget *button, QChar letter) {
        auto *label = new QLabel(QString(letter), this);
        label->setObjectName("keyTip");
        label->setProperty("target", QVariant::fromValue(static_cast<QObject *>(button)));
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet("QLabel { background: #fff8d8; color: #202020; border: 1px solid #707070;"
                             " border-radius: 2px; padding: 0px 3px; font-weight: bold; }");
        label->adjustSize();
        label->setMinimumWidth(label->height());
        label->adjustSize();
        // Over the lower middle of the button, inside the ribbon.
        QPoint at = button->mapTo(this, QPoint(button->width() / 2, button->height()));
        at -= QPoint(label->width() / 2, label->height() * 2 / 3);
        at.setX(std::clamp(at.x(), 0, std::max(0, width() - label->width())));
        at.setY(std::clamp(at.y(), 0, std::max(0, height() - label->height())));
        label->move(at);
        label->show();
        label->raise();
        m_keyTips << label;
    };
    tip(m_appButton, 'F');
    QWidget *page = m_body->currentWidget();
    for (auto *b : page->findChildren<QToolButton *>()) {
        QAction *a = b->defaultAction();
        QChar letter = a ? Mnemonic(a->text()) : QChar();
        if (!letter.isNull() && b->isVisible() && b->isEnabled())
            tip(b, letter);
    }
}

bool CRibbon::PressKeyTip(QChar letter)
{
    for (QLabel *label : m_keyTips) {
        if (label->text() != QString(letter.toUpper()))
            continue;
        auto *button = qobject_cast<QToolButton *>(label->property("target").value<QObject *>());
        ShowKeyTips(false);
        if (button == m_appButton)
            ShowAppMenu();
        else if (button)
            button->click();
        return true;
    }
    return false;
}

CAppMenu *CRibbon::AppMenu()
{
    if (!m_appMenu) {
        m_appMenu = new CAppMenu(m_action, this);
        m_appMenu->SetRecentFiles(m_recentFiles);
        connect(m_appMenu, &CAppMenu::recentChosen, this, &CRibbon::recentChosen);
    }
    return m_appMenu;
}

void CRibbon::SetRecentFiles(const QStringList &shown)
{
    m_recentFiles = shown;
    if (m_appMenu)
        m_appMenu->SetRecentFiles(shown);
}

void CRibbon::ShowAppMenu()
{
    CAppMenu *menu = AppMenu();
    menu->adjustSize();
    menu->move(m_appButton->mapToGlobal(QPoint(0, m_appButton->height())));
    menu->show();
}

} // namespace kivo
