#pragma once
#include <QFrame>
#include <QStringList>
#include <QWidget>
#include <functional>

class QAction;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QToolButton;
class QVBoxLayout;
class QHBoxLayout;

namespace kivo {

// Finds a command's action by its id (app/commands.h).
using ActionLookup = std::function<QAction *(const QString &id)>;

// The application button's menu: the file commands on the left, "Recent
// Documents" beside them, "Exit" at the foot.
class CAppMenu : public QFrame
{
    Q_OBJECT
public:
    CAppMenu(const ActionLookup &action, QWidget *parent);
    void SetRecentFiles(const QStringList &shown);
    QList<QPushButton *> RecentButtons() const { return m_recent; }

signals:
    void recentChosen(int index);

private:
    QToolButton *Command(QAction *action, QWidget *parent);
    QVBoxLayout *m_recentLayout;
    QList<QPushButton *> m_recent;
};

// Our ribbon: the application button, the quick access buttons, the
// categories "P2 Code Generator" and "Home" with their panels, the Style menu
// and the about button at the right end of the tab row.
class CRibbon : public QWidget
{
    Q_OBJECT
public:
    CRibbon(const ActionLookup &action, QMenu *styleMenu, QWidget *parent);

    QToolButton *AppButton() const { return m_appButton; }
    // The application menu, made when first shown or asked for: its
    // commands are the main window's actions, whose keys work without it.
    CAppMenu *AppMenu();
    QTabBar *Categories() const { return m_categories; }
    QStackedWidget *Body() const { return m_body; }
    QToolButton *StyleButton() const { return m_styleButton; }
    // The button of a command on the panels (the first one showing it).
    QWidget *PanelControl(const QString &id) const;

    void SetRecentFiles(const QStringList &shown);
    // The Windows 7 form: the application button becomes a "File" tab.
    void SetWindows7(bool on);
    bool IsWindows7() const { return m_windows7; }
    void ShowAppMenu();

    // The access keys: on each enabled button of the category shown, and on
    // the application button, the letter that runs it with Alt.
    void ShowKeyTips(bool on);
    bool KeyTipsShown() const { return !m_keyTips.isEmpty(); }
    // The tips shown, by letter (upper case).
    QList<QLabel *> KeyTips() const { return m_keyTips; }
    // Presses the button whose tip shows `letter`; false when none does.
    bool PressKeyTip(QChar letter);

signals:
    // An entry of the menu's "Recent Documents" was chosen.
    void recentChosen(int index);

private:
    QWidget *Category(const QString &title);
    QHBoxLayout *Panel(QWidget *category, const QString &caption);
    QToolButton *Large(const QString &id, QWidget *parent);
    QToolButton *Small(const QString &id, QWidget *parent);

    ActionLookup m_action;
    QToolButton *m_appButton;
    CAppMenu *m_appMenu = nullptr;
    QStringList m_recentFiles;
    QTabBar *m_categories;
    QStackedWidget *m_body;
    QToolButton *m_styleButton;
    QList<QLabel *> m_keyTips;
    bool m_windows7 = false;
};

} // namespace kivo
