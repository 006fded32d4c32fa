#pragma once
#include <QDialog>

class QListWidget;
class QPushButton;

namespace kivo {

class CMainFrame;

// "About Kivo": the icon, "Kivo, Version 1.0" and OK.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};

// "Windows": the open project windows, to activate, save or close.
class CWindowsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CWindowsDialog(CMainFrame &frame);
    QListWidget *List() const { return m_list; }
    QPushButton *ActivateButton() const { return m_activate; }
    QPushButton *SaveButton() const { return m_save; }
    QPushButton *CloseButton() const { return m_close; }

    void OnActivate();
    void OnSave();
    void OnCloseWindows();

private:
    void Fill();
    void UpdateButtons();
    CMainFrame &m_frame;
    QListWidget *m_list;
    QPushButton *m_activate;
    QPushButton *m_save;
    QPushButton *m_close;
};

} // namespace kivo
