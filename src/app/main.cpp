// Veduvovir: control and data acquisition of the swell-test units.
// Until the main window exists the program opens the real-time window directly, after the start-up steps
// the real-time test needs: the shared connection, the unit system and the unit captions.
#include "realtime/frmMDIRealTime.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veduvovir"));

    Module1::DbConnection = std::make_shared<clsConnection>();
    Module1::DbConnection->OpenDB(QStringLiteral("Admin"), QString(), QStringLiteral("Torvan"), QString());
    const SettingsFile::ReadResult settings = SettingsFile::read();
    if (const auto flag = settings.value(SettingsFile::FlagPosition)) {
        Module1::UnitSystem = *flag;
        Module1::SetUnitCaptions();
    }

    auto* realTime = new frmMDIRealTime;
    realTime->setAttribute(Qt::WA_DeleteOnClose);
    realTime->show();
    const int rc = app.exec();
    Module1::Reset();
    return rc;
}
