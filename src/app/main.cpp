// Veduvovir: control and data acquisition of the swell-test units. The program starts at its main window,
// which opens the database and every other window; confirming its exit ends the program.
#include "records/Module1.h"
#include "review/frmMain.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Desktop file dialogs read the files they list inside the program (dropping SQLite's locks): Qt's own
    // dialogs only, with a provider that goes by names.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veduvovir"));
    // Only the main window's confirmed exit ends the program (it may be hidden while another window is up).
    QApplication::setQuitOnLastWindowClosed(false);
    int rc = 0;
    {
        frmMain main;
        main.Form_Load();
        main.show();
        rc = app.exec();
    }
    Module1::Reset();
    return rc;
}
