#include "workspace/audioout.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

namespace kivo {

std::unique_ptr<IAudioOut> OpenAudioOut(QString *error)
{
    // Installed beside the program's lib folder; in a build tree, where the
    // build put it.
    const QStringList places = {QCoreApplication::applicationDirPath() + "/../" KIVO_AUDIO_INSTALL_DIR
                                                                         "/" KIVO_AUDIO_FILE,
                                QStringLiteral(KIVO_AUDIO_BUILD_PATH)};
    QString why = "the audio module " KIVO_AUDIO_FILE " was not found";
    for (const QString &place : places) {
        if (!QFileInfo::exists(place))
            continue;
        QLibrary library(place);
        auto open = reinterpret_cast<decltype(&KivoOpenAudioOut)>(library.resolve("KivoOpenAudioOut"));
        if (open)
            return std::unique_ptr<IAudioOut>(open()); // the library stays loaded
        why = library.errorString();
    }
    if (error)
        *error = why;
    return nullptr;
}

} // namespace kivo
