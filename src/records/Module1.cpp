#include "records/Module1.h"

#include "records/clsConnection.h"
#include "records/clsSEQUENCE_INFO.h"
#include "records/clsSEQUENCE_STEP.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"
#include "records/format.h"

#include <QFile>
#include <filesystem>
#include <stdexcept>

namespace Module1 {

int UnitSystem = 0;
std::shared_ptr<clsConnection> DbConnection;
std::shared_ptr<clsTEST_INFO> TestInfo;
std::shared_ptr<clsTEST_RESULT> TestResult;
std::shared_ptr<clsSEQUENCE_INFO> SeqInfo;
std::shared_ptr<clsSEQUENCE_STEP> SeqStep;
QPointer<QWidget> TestInfoForm;
QPointer<QWidget> SearchForm;
std::array<QPointer<QWidget>, 11> SimpleTestForms;
std::array<QPointer<QWidget>, 11> SeqTestForms;
std::array<std::array<QPointer<QWidget>, 3>, 9> DetailForms;
std::array<QPointer<QWidget>, 3> TestRelateForms;
std::array<std::array<CellCalibration, 3>, 9> Calibration{};
QString TempUnitCaption;
QString LengthUnitCaption;
QString PressUnitCaption;

namespace {
constexpr double InchToMm = 25.4;
bool english() { return UnitSystem == 1; }
} // namespace

void SetUnitCaptions()
{
    TempUnitCaption = TempCaptionOf(UnitSystem);
    LengthUnitCaption = english() ? QStringLiteral("(in.)") : QStringLiteral("(mm)");
    PressUnitCaption = QStringLiteral("(Psi)");
}

QString TempCaptionOf(int unitSystem)
{
    return unitSystem == 1 ? QStringLiteral("(°F)") : QStringLiteral("(°C)");
}

bool FileExists(const QString& path)
{
    // Asked of the file system only: opening and closing the file, even for a moment, would drop every
    // lock this process holds on it, and the database is checked while its connection is open.
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(path.toLocal8Bit().toStdString()), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

double ToDisplayTemp(double x) { return ToDisplayTemp(x, UnitSystem); }
double ToDisplayTemp(double x, int unitSystem) { return unitSystem == 1 ? x : (x - 32) * 5 / 9; }
double ToStoredTemp(double x) { return ToStoredTemp(x, UnitSystem); }
double ToStoredTemp(double x, int unitSystem) { return unitSystem == 1 ? x : x / 5 * 9 + 32; }

QString ToStoredTempText(const QString& entry)
{
    if (english()) return entry;
    const auto v = Format::strict(entry);
    if (!v) throw std::invalid_argument("Type mismatch");
    return Format::general(ToStoredTemp(*v));
}

QString ToDisplayLength(double x) { return ToDisplayLength(x, UnitSystem); }

QString ToDisplayLength(double x, int unitSystem)
{
    return Format::number(ToDisplayLengthValue(x, unitSystem), DisplayLengthPattern(unitSystem));
}

double ToDisplayLengthValue(double x, int unitSystem) { return unitSystem == 1 ? x : x * InchToMm; }

QString DisplayLengthPattern(int unitSystem)
{
    return unitSystem == 1 ? QStringLiteral("#0.0###") : QStringLiteral("#0.0#");
}

double DisplayLengthNumber(double x)
{
    return english() ? Format::roundHalfAway(x, 4) : Format::roundHalfAway(x * InchToMm, 2);
}

double ToStoredLength(double x) { return english() ? x : x / InchToMm; }
double ToDisplayPress(double x) { return x; }
double ToStoredPress(double x) { return x; }

void Reset()
{
    UnitSystem = 0;
    TestInfo.reset();
    TestResult.reset();
    SeqInfo.reset();
    SeqStep.reset();
    DbConnection.reset();
    TestInfoForm.clear();
    SearchForm.clear();
    for (auto& f : SimpleTestForms) f.clear();
    for (auto& f : SeqTestForms) f.clear();
    for (auto& u : DetailForms)
        for (auto& f : u) f.clear();
    for (auto& f : TestRelateForms) f.clear();
    Calibration = {};
    TempUnitCaption.clear();
    LengthUnitCaption.clear();
    PressUnitCaption.clear();
}

} // namespace Module1
