#include "calibration/CalibrationReports.h"

#include "records/format.h"

namespace calibration {

namespace {

QString timeLine(const QString& caption, const QDateTime& now)
{
    return caption + QLatin1Char(',') + Format::longTime(now) + QLatin1Char(',') + Format::longDate(now);
}

void heightBlock(QStringList& out, const HeightReportCell& c)
{
    if (!c.fitted) return;
    out << QStringLiteral("Data ,Volt ");
    for (std::size_t i = 0; i < 3; ++i) out << c.spacers[i] + QLatin1Char(',') + c.volts[i];
    out << QString() << QStringLiteral("Factor ") << c.intercept << c.slope;
}

} // namespace

QStringList heightReportLines(const QDateTime& now, int unit, const HeightReportCell& cellA,
                              const HeightReportCell& cellB)
{
    QStringList out;
    out << QStringLiteral("Calibration Report of Torvan. ") << QString()
        << timeLine(QStringLiteral("Calibration Time:  "), now) << QString()
        << QStringLiteral("Unit No.: ,") + Format::printed(unit) << QString() << QStringLiteral("Cell A :");
    heightBlock(out, cellA);
    out << QString() << QString() << QStringLiteral("Cell B :");
    heightBlock(out, cellB);
    out << QString() << QString();
    return out;
}

QStringList pressureReportLines(const QDateTime& now, int calUnit, const PressureReportCell& cellA,
                                const PressureReportCell& cellB)
{
    QStringList out;
    out << QStringLiteral("Pressure Calibration Report of Torvan,") << QString()
        << timeLine(QStringLiteral("Calibration Time:"), now) << QString()
        << QStringLiteral("Instrument Unit: ,") + Format::printed(calUnit) << QString()
        << QStringLiteral("volt,Factor");
    for (const PressureReportCell* c : {&cellA, &cellB}) {
        out << c->voltZero + QLatin1Char(',') + c->slope;
        out << c->volt1000 + QLatin1Char(',') + c->intercept;
    }
    out << QString();
    return out;
}

std::optional<FileFailure> writeReport(const QString& path, const QStringList& lines)
{
    if (WorkFiles::isDatabaseFile(path)) return FileFailure{75, WorkFiles::DatabaseNotAReportMessage};
    QByteArray bytes;
    for (const QString& line : lines) bytes += line.toLocal8Bit() + "\r\n";
    return WorkFiles::replace(path, bytes);
}

} // namespace calibration
