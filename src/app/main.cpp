// Veduvovir: control and data acquisition of the swell-test units.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veduvovir"));
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("Veduvovir"));
    w.resize(985, 707);
    w.show();
    return app.exec();
}
