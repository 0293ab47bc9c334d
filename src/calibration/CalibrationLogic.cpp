#include "calibration/CalibrationLogic.h"

#include "records/UnitLink.h"
#include "records/format.h"

#include <cmath>
#include <limits>

namespace calibration {

CellReadingResult parseCellReading(const QByteArray& received, char letter, double previous)
{
    CellReadingResult r;
    r.reading = previous;
    qsizetype pos = 0;
    while (true) {
        const qsizetype sub = received.indexOf(unitlink::linkchar::SUB, pos);
        if (sub < 0) break;   // text without its SUB is no record
        const QByteArray record = received.mid(pos, sub - pos);
        pos = sub + 1;

        std::array<QByteArray, ReadingFieldTable> fields;
        int count = 0;
        bool ofCell = false;
        qsizetype start = 0;
        while (true) {
            const qsizetype comma = record.indexOf(',', start);
            if (comma < 0) break;
            if (count == ReadingFieldTable) {
                r.failure = FileFailure::subscriptOutOfRange();
                return r;
            }
            fields[std::size_t(count++)] = record.mid(start, comma - start);
            start = comma + 1;
            if (count == 1) {
                ofCell = !fields[0].isEmpty() && fields[0].at(0) == letter;
                if (!ofCell) break;
            }
        }
        if (!ofCell || count < ReadingField) continue;
        const QString field = QString::fromLatin1(fields[ReadingField - 1]);
        const std::optional<double> mv = Format::strict(field);
        if (!mv && Format::notFiniteNumber(field)) {
            // The cell answered, with a value no transducer gives: a reading that is not usable.
            r.reading = std::numeric_limits<double>::quiet_NaN();
            ++r.matched;
            continue;
        }
        if (!mv) {
            r.failure = FileFailure::typeMismatch();
            return r;
        }
        const std::optional<double> volts = Format::strict(Format::number(*mv / 1000.0, QStringLiteral("##0.00###")));
        if (!volts) {
            r.failure = FileFailure::overflow();
            return r;
        }
        r.reading = *volts;
        ++r.matched;
    }
    return r;
}

FileFailure portNotOpenFailure() { return {8018, QStringLiteral("Operation valid only when the port is open")}; }

std::optional<LineFit> fitLine(const std::vector<double>& x, const std::vector<double>& y)
{
    const std::size_t n = x.size();
    if (n < 2 || y.size() != n) return std::nullopt;
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= double(n);
    my /= double(n);
    double sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        sxy += (x[i] - mx) * (y[i] - my);
    }
    if (!(sxx > 0)) return std::nullopt;
    LineFit f;
    if (n == 2) {
        // The line through the two points, computed as directly as it can be.
        f.slope = (y[1] - y[0]) / (x[1] - x[0]);
        f.intercept = y[0] - f.slope * x[0];
    } else {
        f.slope = sxy / sxx;
        f.intercept = my - f.slope * mx;
    }
    if (!std::isfinite(f.slope) || !std::isfinite(f.intercept)) return std::nullopt;
    return f;
}

void StepTimer::reset()
{
    for (auto& step : ticks_) step.fill(Idle);
}

void StepTimer::start(int step, int cell)
{
    if (valid(step, cell)) ticks_[std::size_t(step)][std::size_t(cell)] = 0;
}

void StepTimer::stop(int step, int cell)
{
    if (valid(step, cell)) ticks_[std::size_t(step)][std::size_t(cell)] = Idle;
}

long StepTimer::ticks(int step, int cell) const
{
    return valid(step, cell) ? ticks_[std::size_t(step)][std::size_t(cell)] : Idle;
}

std::vector<std::pair<int, int>> StepTimer::tick()
{
    std::vector<std::pair<int, int>> due;
    for (int step = 1; step <= Steps; ++step) {
        for (int cell = 1; cell <= Cells; ++cell) {
            long& t = ticks_[std::size_t(step)][std::size_t(cell)];
            if (t < Ceiling) ++t;
            if (t == DueAt) due.emplace_back(step, cell);
        }
    }
    return due;
}

QString readingText(double volts) { return Format::plainDecimal(volts); }

QString factorText(double x) { return Format::number(x, QStringLiteral("#0.0####")); }

double labelValue(const QString& text) { return Format::leading(text); }

bool readingRises(double before, double after)
{
    // Readings carry at most five decimals: compare their difference at that precision, so that readings
    // shown exactly one volt apart (1.3 and 2.3) count as one volt apart whatever the binary rounding.
    const double rise = after - before;
    return std::isfinite(rise) && rise > 0 && Format::roundHalfAway(rise, 5) >= 1.0;
}

bool readingUsable(double volts) { return std::isfinite(volts) && std::fabs(volts) <= ReadingLimitVolts; }

} // namespace calibration
