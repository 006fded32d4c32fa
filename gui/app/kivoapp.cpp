#include "app/kivoapp.h"

#include "app/dialogs.h"
#include "app/mainframe.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "platform/messages.h"
#include "platform/projectlock.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace kivo {

namespace {

const char *const kFilter = "Kivo Files (*.kivo)";

QString RecentKey(int i) { return QString("Recent File List/File%1").arg(i); }

QString Normalised(const QString &path)
{
    QFileInfo info(path);
    QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

QString AbbreviatePath(const QString &path, int maxChars)
{
    if (path.size() <= maxChars)
        return path;
    const QChar sep = path.contains('\\') && !path.contains('/') ? '\\' : '/';
    QStringList parts = path.split(sep);
    QString name = parts.takeLast();
    if (name.size() > maxChars)
        return name.left(std::max(0, maxChars - 3)) + "...";
    // The root and first folder stay, then "...", then as many of the
    // last folders as fit.
    QString head = parts.isEmpty() ? QString() : parts.takeFirst() + sep;
    if (head.size() + 4 + name.size() > maxChars)
        return name;
    QString tail = name;
    while (!parts.isEmpty() && head.size() + 4 + parts.last().size() + 1 + tail.size() <= maxChars)
        tail = parts.takeLast() + sep + tail;
    if (parts.isEmpty())
        return head + tail;
    return head + "..." + sep + tail;
}

CKivoApp::CKivoApp(const std::string &profilePath)
    : m_profile(profilePath), m_processes(m_messages), m_services{m_messages,  m_profile,   m_files, m_clock,
                                                                  m_processes, m_resources, this,    &m_merger}
{
}

CKivoApp::~CKivoApp()
{
    m_frame.reset();
    m_docs.clear();
}

bool CKivoApp::Start(const QStringList &args)
{
    m_frame = std::make_unique<CMainFrame>(*this);
    m_messages.SetFallbackOwner(m_frame.get());
    m_processes.SetOwner(m_frame.get());
    ShowRecent();
    // The window first, so that a file that does not open is said over it
    // and the application stays, ready for another file.
    m_frame->show();
    if (args.isEmpty())
        NewProject();
    else
        OpenPath(args.first());
    return true;
}

CKivoDoc *CKivoApp::NewProject()
{
    auto doc = std::make_unique<CKivoDoc>();
    NewProjectForHost(*doc, m_profile, ToolSearch::FromEnvironment());
    doc->SetTitle("Kivo" + std::to_string(++m_untitled));
    CKivoDoc *raw = doc.get();
    m_docs.push_back(std::move(doc));
    m_frame->OpenWindow(*raw);
    return raw;
}

CKivoDoc *CKivoApp::OpenPath(const QString &path)
{
    QString full = Normalised(path);
    for (auto &d : m_docs) {
        if (!d->m_strPathName.empty() && Normalised(QString::fromStdString(d->m_strPathName)) == full) {
            m_frame->ActivateDocument(*d);
            return d.get();
        }
    }
    auto doc = std::make_unique<CKivoDoc>();
    if (Result opened = OpenProject(full.toStdString(), *doc, m_services); !opened) {
        ShowResult(m_services.messages, opened);
        return nullptr;
    }
    CKivoDoc *raw = doc.get();
    m_docs.push_back(std::move(doc));
    m_frame->OpenWindow(*raw);
    AddRecent(full);
    return raw;
}

void CKivoApp::OnFileOpen()
{
    QString path = QFileDialog::getOpenFileName(m_frame.get(), "Open", QString(), kFilter);
    if (!path.isEmpty())
        OpenPath(path);
}

void CKivoApp::OnRecentFile(int index)
{
    QStringList files = RecentFiles();
    if (index < 0 || index >= files.size())
        return;
    // An entry that no longer opens leaves the list.
    if (!OpenPath(files[index]))
        RemoveRecent(files[index]);
}

bool CKivoApp::Save(CKivoDoc &doc)
{
    if (doc.m_strPathName.empty())
        return SaveAs(doc);
    if (!SaveTo(doc, doc.m_strPathName))
        return false;
    AddRecent(QString::fromStdString(doc.m_strPathName));
    // The save refreshed the views before the project was marked saved.
    m_frame->UpdateTitles();
    return true;
}

bool CKivoApp::SaveTo(CKivoDoc &doc, const std::string &path)
{
    ProjectLock lock;
    if (Result locked = lock.Acquire(path, kProjectLockWait); !locked) {
        ShowResult(m_services.messages, locked);
        return false;
    }
    if (path == doc.m_strPathName && ChangedOnDisk(doc, m_services)) {
        // The question is asked with the project free for other programs.
        lock.Release();
        if (!m_services.messages.Ask(MessageKind::Warning,
                                     path + " was changed by another program after Kivo opened or saved it.\n\n"
                                            "Save anyway, replacing those changes?"))
            return false;
        if (Result locked = lock.Acquire(path, kProjectLockWait); !locked) {
            ShowResult(m_services.messages, locked);
            return false;
        }
    }
    if (Result saved = SaveProject(doc, path, m_services); !saved) {
        ShowResult(m_services.messages, saved);
        return false;
    }
    return true;
}

bool CKivoApp::SaveAs(CKivoDoc &doc)
{
    QString start = doc.m_strPathName.empty()
                        ? QDir::current().filePath(QString::fromStdString(doc.GetTitle()) + ".kivo")
                        : QString::fromStdString(doc.m_strPathName);
    QString path = QFileDialog::getSaveFileName(m_frame.get(), "Save As", start, kFilter);
    if (path.isEmpty())
        return false;
    if (!path.endsWith(".kivo", Qt::CaseInsensitive))
        path += ".kivo";
    path = Normalised(path);
    if (!SaveTo(doc, path.toStdString()))
        return false;
    AddRecent(path);
    m_frame->UpdateTitles();
    return true;
}

void CKivoApp::SaveDocument(CKivoDoc &doc) { Save(doc); }

bool CKivoApp::CloseDocument(CKivoDoc &doc)
{
    if (!SaveModified(doc))
        return false;
    m_frame->CloseDocumentWindows(doc);
    return true;
}

bool CKivoApp::SaveModified(CKivoDoc &doc)
{
    // What is still being typed in the form is a change too.
    doc.UpdateAllViews();
    if (!doc.IsModified())
        return true;
    m_frame->ActivateDocument(doc);
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle),
                    QString("Save changes to %1 before closing?").arg(QString::fromStdString(doc.GetTitle())),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_frame.get());
    box.setObjectName("saveChanges");
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return Save(doc);
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void CKivoApp::DocumentClosed(CKivoDoc &doc)
{
    std::erase_if(m_docs, [&doc](const std::unique_ptr<CKivoDoc> &d) { return d.get() == &doc; });
}

void CKivoApp::OnAbout()
{
    CAboutDlg about(m_frame.get());
    about.exec();
}

QStringList CKivoApp::RecentFiles()
{
    QStringList files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        QString f = QString::fromStdString(m_profile.GetString(RecentKey(i).toStdString(), ""));
        if (!f.isEmpty())
            files << f;
    }
    return files;
}

void CKivoApp::StoreRecent(const QStringList &files)
{
    for (int i = 1; i <= kRecentFileCount; ++i)
        m_profile.SetString(RecentKey(i).toStdString(), i <= files.size() ? files[i - 1].toStdString() : "");
    ShowRecent();
}

void CKivoApp::AddRecent(const QString &path)
{
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFileCount)
        files.removeLast();
    StoreRecent(files);
}

void CKivoApp::RemoveRecent(const QString &path)
{
    QStringList files = RecentFiles();
    files.removeAll(path);
    StoreRecent(files);
}

void CKivoApp::ShowRecent()
{
    if (!m_frame)
        return;
    QStringList shown;
    for (const QString &f : RecentFiles())
        shown << AbbreviatePath(QDir::toNativeSeparators(f));
    m_frame->SetRecentFiles(shown);
}

} // namespace kivo
