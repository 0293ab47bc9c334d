#pragma once
// The two comma-separated calibration reports: what the height and pressure tabs show, line by line.
#include "records/WorkFiles.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace calibration {

// Filter of the reports' save dialog (all files, and text files *.csv) and the entry preselected (0-based).
inline const QString ReportFilter = QStringLiteral("All Files (*.*)|*.*|Text Files(*.csv)|*.csv");
constexpr int ReportFilterSelected = 1;
inline const QString ReportDialogTitle = QStringLiteral("Save As");
// The description shown when the save dialog is cancelled.
inline const QString ReportCancelled = QStringLiteral("Cancel was selected.");

// One cell of the height tab as shown.
struct HeightReportCell {
    bool fitted = false;                 // lblconst2 visible
    std::array<QString, 3> spacers;      // lbldata1..3
    std::array<QString, 3> volts;        // lblvolt1..3
    QString intercept;                   // lblconst1
    QString slope;                       // lblconst2
};

// One cell of the pressure tab as shown.
struct PressureReportCell {
    QString voltZero;    // lbldata4
    QString volt1000;    // lbldata5
    QString intercept;   // lblIntercept
    QString slope;       // lblSlope
};

// The height report's lines. `unit` is the number of the tab's unit choice (0 before a choice).
QStringList heightReportLines(const QDateTime& now, int unit, const HeightReportCell& cellA,
                              const HeightReportCell& cellB);
// The pressure report's lines for unit `calUnit` (0 before a choice).
QStringList pressureReportLines(const QDateTime& now, int calUnit, const PressureReportCell& cellA,
                                const PressureReportCell& cellB);

// Writes the lines to `path`, each ended by CR LF, through the checked replace of WorkFiles: a failure
// leaves an earlier report byte for byte (and no file where there was none). The database file of the
// working folder (and its -wal and -shm) is refused before anything is opened. Returns the failure, if any.
std::optional<FileFailure> writeReport(const QString& path, const QStringList& lines);

} // namespace calibration
