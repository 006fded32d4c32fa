#pragma once
// Helpers for the application tests: answering modal dialogs, typing and
// clicking through the real widgets, and an application on a private
// profile.
#include "app/kivoapp.h"
#include "app/mainframe.h"
#include "model/projectfile.h"
#include "testsupport.h"
#include "workspace/editordialog.h"
#include "workspace/kivoview.h"
#include "workspace/objectpicker.h"
#include "workspace/objectview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// Readable values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace kivo::test {

// Answers modal dialogs in order: each step is given the dialog that has
// just come to the top of the modal stack (a new one, or one that a nested
// box left). A modal that no step expects fails the test and is closed.
class Modals
{
public:
    using Step = std::function<void(QWidget *)>;
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        int buttons;
    };

    static Modals &Get()
    {
        static Modals m;
        return m;
    }
    void Then(Step step)
    {
        m_steps.push_back(std::move(step));
        Arm();
    }
    // A message box: recorded in Boxes(), then OK.
    void ThenBox()
    {
        Then([this](QWidget *w) { AnswerBox(w); });
    }
    // Records a message box and presses its OK.
    void AnswerBox(QWidget *w)
    {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box) {
            ADD_FAILURE() << "expected a message box, got " << w->metaObject()->className() << " \""
                          << w->windowTitle().toStdString() << "\"";
            Close(w);
            return;
        }
        m_boxes.push_back({box->windowTitle(), box->text(), box->icon(), int(box->buttons().size())});
        box->button(QMessageBox::Ok)->click();
    }
    std::vector<Box> &Boxes() { return m_boxes; }
    std::size_t Pending() const { return m_steps.size(); }
    void Reset()
    {
        EXPECT_EQ(m_steps.size(), 0u) << "modal steps left unused";
        m_steps.clear();
        m_boxes.clear();
        m_top = nullptr;
    }

private:
    void Arm()
    {
        if (m_armed)
            return;
        m_armed = true;
        QTimer::singleShot(2, [this] { Tick(); });
    }
    void Tick()
    {
        m_armed = false;
        Arm(); // first, so that a nested dialog's loop keeps ticking
        QWidget *top = QApplication::activeModalWidget();
        if (top == m_top)
            return;
        m_top = top;
        if (!top)
            return;
        if (m_steps.empty()) {
            ADD_FAILURE() << "unexpected modal " << top->metaObject()->className() << " \""
                          << top->windowTitle().toStdString() << "\"";
            Close(top);
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(top);
    }
    static void Close(QWidget *w)
    {
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            if (auto *ok = box->button(QMessageBox::Ok)) {
                ok->click();
                return;
            }
        }
        if (auto *d = qobject_cast<QDialog *>(w))
            d->done(QDialog::Rejected);
        else
            w->close();
    }
    std::deque<Step> m_steps;
    std::vector<Box> m_boxes;
    QPointer<QWidget> m_top;
    bool m_armed = false;
};

// Types `text` into a widget as key presses (a selection is replaced).
inline void Type(QWidget *w, const QString &text) { QTest::keyClicks(w, text); }

inline void Key(QWidget *w, Qt::Key key) { QTest::keyClick(w, key); }

// Replaces the text of a line edit as a user would.
inline void Retype(QLineEdit *e, const QString &text)
{
    ASSERT_NE(e, nullptr);
    e->selectAll();
    Key(e, Qt::Key_Delete);
    Type(e, text);
}

// Clicks a line of a list, or double-clicks it.
inline void ClickRow(QListWidget *list, int row, bool twice = false)
{
    QListWidgetItem *item = list->item(row);
    ASSERT_NE(item, nullptr);
    QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

inline QStringList Lines(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

template <class T> T *Find(QWidget *w, const QString &name)
{
    T *found = w ? w->findChild<T *>(name) : nullptr;
    EXPECT_NE(found, nullptr) << "no " << name.toStdString();
    return found;
}

// Sets an environment variable for one test.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::string &value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old, m_had = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char *m_name;
    std::string m_old;
    bool m_had = false;
};

// An application on a profile of its own, in a temporary folder.
// Add Object on `list`, the kind's button in the picker, then `edit` on the
// new object's editor.
inline void AddThroughPicker(CObjectView *list, int kind, std::function<void(CEditorDialog *)> edit)
{
    Modals::Get().Then([kind](QWidget *w) {
        auto *picker = qobject_cast<CObjectPicker *>(w);
        ASSERT_NE(picker, nullptr);
        picker->KindButton(kind)->click();
    });
    Modals::Get().Then([edit](QWidget *w) {
        auto *d = qobject_cast<CEditorDialog *>(w);
        ASSERT_NE(d, nullptr);
        edit(d);
    });
    list->AddButton()->click();
}

class AppTest : public ::testing::Test
{
protected:
    void SetUp() override { app = std::make_unique<CKivoApp>(ProfilePath()); }
    void TearDown() override
    {
        app.reset();
        Modals::Get().Reset();
    }
    std::string ProfilePath() const { return dir / "config/kivo/kivo.conf"; }
    void Start(const QStringList &args = {}) { ASSERT_TRUE(app->Start(args)); }
    CMainFrame &Frame() { return *app->Frame(); }
    CChildFrame *Active() { return app->Frame()->ActiveChild(); }
    CKivoView *View() { return Active() ? Active()->View() : nullptr; }
    CKivoDoc &Doc() { return Active()->Document(); }
    // Writes a saved project with the default settings and returns its path.
    QString SavedProject(const std::string &name)
    {
        CKivoDoc doc;
        MemoryProfile empty;
        doc.OnNewDocument(empty);
        TestServices t;
        DiskFileSystem disk;
        Services s{t.messages, t.profile, disk, t.clock, t.processes, t.resources, nullptr};
        std::string path = dir / name;
        EXPECT_TRUE(SaveProject(doc, path, s));
        return QString::fromStdString(path);
    }

    TempDir dir;
    std::unique_ptr<CKivoApp> app;
};

} // namespace kivo::test
