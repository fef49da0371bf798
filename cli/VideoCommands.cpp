#include "VideoCommands.h"

#include "CliIo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace cli {

bool isVideoCommand(const QString &command)
{
    for (const char *name : {"probe", "frame", "frames", "gif", "export", "ocr"}) {
        if (command == QLatin1String(name))
            return true;
    }
    return false;
}

int runVideoCommand(const QString &command, const QStringList &args)
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    const QString name = QLatin1String(kVideoModuleName);
    const QStringList candidates = {
        appDir.filePath(name),  // the build tree
        QDir::cleanPath(appDir.filePath(QStringLiteral(FRAMEWRIGHT_MODULE_DIR_FROM_BIN "/") + name)),
    };
    QStringList reasons;
    for (const QString &path : candidates) {
        if (!QFileInfo::exists(path)) {
            reasons.append(QStringLiteral("%1: no such file").arg(path));
            continue;
        }
        // Never unloaded: the process ends with the command.
        void *module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            reasons.append(QString::fromLocal8Bit(dlerror()));
            continue;
        }
        const auto entry = reinterpret_cast<VideoCommand>(dlsym(module, kVideoCommandSymbol));
        if (!entry) {
            reasons.append(QStringLiteral("%1: no entry point").arg(path));
            continue;
        }
        return entry(command, args);
    }
    return failure(QStringLiteral("the %1 command needs %2, which cannot be loaded (%3)")
                       .arg(command, name, reasons.join(QLatin1String("; "))));
}

}  // namespace cli
