// veduvovir-initdb [folder]: creates an empty Torvan.accdb in folder (default: the current folder).
#include "records/clsConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() > 1 || (!args.isEmpty() && args[0].startsWith('-'))) {
        std::fprintf(stderr, "usage: veduvovir-initdb [folder]\n");
        return 2;
    }
    const QString folder = args.isEmpty() ? QDir::currentPath() : args[0];
    const QString error = createDatabase(folder);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "veduvovir-initdb: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("created %s\n", qPrintable(QDir(folder).absoluteFilePath(QStringLiteral("Torvan.accdb"))));
    return 0;
}
