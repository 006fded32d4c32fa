#pragma once
#include <QTabWidget>
#include <QWidget>

namespace kivo {

class CColorTabBar;
class CFlexSpinView;
class CKivoDoc;
class CObjectView;
class CSimBoardTab;
struct Services;

// The tabbed view of one project window: "P2 & FlexSpin", "Object List" and
// "I/O Pin View" along the bottom edge. Each tab view takes the project's
// refresh broadcast itself.
class CKivoView : public QTabWidget
{
    Q_OBJECT
public:
    enum Tab { SettingsTab = 0, ObjectsTab = 1, PinsTab = 2, SimBoardTab = 3 };
    CKivoView(CKivoDoc &doc, Services &services, QWidget *parent = nullptr);

    CKivoDoc &Document() const { return m_doc; }
    CFlexSpinView *SettingsView() const { return m_settings; }
    CObjectView *ObjectView() const { return m_objects; }
    QWidget *PinsView() const { return m_pins; }
    CSimBoardTab *SimBoard() const { return m_simBoard; }
    CColorTabBar *ColorTabBar() const { return m_tabBar; }
    // The tab's title as shown ("P2 & FlexSpin").
    QString ShownTabText(int index) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    CKivoDoc &m_doc;
    CColorTabBar *m_tabBar;
    CFlexSpinView *m_settings;
    CObjectView *m_objects;
    QWidget *m_pins;
    CSimBoardTab *m_simBoard;
};

// One project window: the page of the main frame's document tabs holding a
// CKivoView. Several windows may show one project (New Window).
class CChildFrame : public QWidget
{
    Q_OBJECT
public:
    CChildFrame(CKivoDoc &doc, Services &services, QWidget *parent = nullptr);
    ~CChildFrame() override;

    CKivoDoc &Document() const { return m_view->Document(); }
    CKivoView *View() const { return m_view; }
    // 0 while it is the project's only window, else its number (Kivo1:2).
    int WindowNumber() const { return m_number; }
    void SetWindowNumber(int n) { m_number = n; }
    // The title, with "*" after it while the project has unsaved changes.
    QString Title() const;

signals:
    // The project's views were refreshed (after any change).
    void documentChanged();

private:
    CKivoView *m_view;
    int m_number = 0;
    int m_viewToken = 0;
};

} // namespace kivo
