#include "app/open_with.h"

#include <QDir>
#include <QUrl>

namespace j3 {

QStringList files_from_arguments(const QStringList& arguments) {
    QStringList files;
    for (const QString& argument : arguments) {
        if (argument.isEmpty()) continue;
        if (argument.startsWith(QLatin1String("file:"))) {
            const QUrl url(argument);
            if (url.isLocalFile()) files << url.toLocalFile();
            continue;
        }
        // Another scheme (a desktop may pass http: or smb: URLs): not a file here.
        if (argument.contains(QLatin1String("://"))) continue;
        // The list keeps paths across runs: a relative one would name another
        // file (or none) once J3 starts from another folder.
        files << QDir::cleanPath(QDir::current().absoluteFilePath(argument));
    }
    return files;
}

}  // namespace j3
