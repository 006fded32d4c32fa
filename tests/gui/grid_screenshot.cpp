// Takes the pin view's picture for the documentation. Skipped unless
// KIVO_PINVIEW_SCREENSHOT names the PNG to write; run it on a real display
// server (e.g. xvfb-run with QT_QPA_PLATFORM=xcb) to capture the screen.
#include "grid/davarogrid.h"
#include "grid/pinsview.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "platform/messages.h"
#include "platform/profile.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <gtest/gtest.h>

namespace kivo {
namespace {

void Settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

TEST(PinViewScreenshot, WritesThePictureWhenAsked)
{
    const QString out = qEnvironmentVariable("KIVO_PINVIEW_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "set KIVO_PINVIEW_SCREENSHOT to the PNG file to write";

    CKivoDoc doc;
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    doc.SetTitle("Blinky.kivo");
    RecordingMessages messages;
    // A servo on pin 16, added the way the object list adds it.
    AddResult added = AddObject(doc, kServo, messages, [](CEditorModel &editor) {
        editor.UserSetText("pin", "16");
        return editor.Ok() == OkResult::Accepted;
    });
    ASSERT_EQ(added, AddResult::Added);
    ASSERT_TRUE(doc.m_bPinUsed[16]);

    CPinsView view(doc);
    view.setWindowTitle("I/O Pin View");
    GridLayout layout = view.GetGrid()->Layout();
    int frame = 2 * view.GetGrid()->frameWidth();
    view.resize(layout.TotalWidth() + frame + 24, layout.TotalHeight() + frame);
    view.move(0, 0);
    view.show();
    Settle(800);

    QPixmap shot;
    if (QGuiApplication::platformName() == "xcb")
        shot = view.screen()->grabWindow(0, view.x(), view.y(), view.width(), view.height());
    else
        shot = view.grab();
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(out, "PNG"));
}

} // namespace
} // namespace kivo
