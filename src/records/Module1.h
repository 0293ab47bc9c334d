#pragma once
// The program's shared state: unit system and captions, the shared connection and record objects, the
// registries of per-unit and per-cell windows, the calibration constants of every cell, and the
// conversions between stored values (°F, inches, psi) and what the operator sees.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>

class clsConnection;
class clsTEST_INFO;
class clsTEST_RESULT;
class clsSEQUENCE_INFO;
class clsSEQUENCE_STEP;

namespace Module1 {

constexpr int MaxUnits = 8;

// 1 = English (°F, in., psi); any other value is SI (°C, mm, psi). 0 until the settings file is read.
extern int UnitSystem;

extern std::shared_ptr<clsConnection> DbConnection;
extern std::shared_ptr<clsTEST_INFO> TestInfo;
extern std::shared_ptr<clsTEST_RESULT> TestResult;
extern std::shared_ptr<clsSEQUENCE_INFO> SeqInfo;
extern std::shared_ptr<clsSEQUENCE_STEP> SeqStep;

// Window registries. The windows live in higher layers; callers cast with form<T>().
extern QPointer<QWidget> TestInfoForm;
extern QPointer<QWidget> SearchForm;
extern std::array<QPointer<QWidget>, 11> SimpleTestForms;             // by unit, 1..8 used
extern std::array<QPointer<QWidget>, 11> SeqTestForms;                // by unit, 1..8 used
extern std::array<std::array<QPointer<QWidget>, 3>, 9> DetailForms;   // [unit][cell]
extern std::array<QPointer<QWidget>, 3> TestRelateForms;              // by cell, 1..2 used

template <class T>
T* form(const QPointer<QWidget>& slot)
{
    return qobject_cast<T*>(slot.data());
}

// The seven calibration values of one cell, in the order of the calibration file.
struct CellCalibration {
    double CalVolt1 = 0;
    double CalVolt2 = 0;   // breakpoint between the lower and the upper segment
    double CalVolt3 = 0;
    double CalIntercept1 = 0;
    double CalSlope1 = 0;
    double CalIntercept2 = 0;
    double CalSlope2 = 0;
};
// [unit 0..8][cell 0..2]; units 1..8 and cells 1..2 are used.
extern std::array<std::array<CellCalibration, 3>, 9> Calibration;

extern QString TempUnitCaption;     // "(°F)" or "(°C)"
extern QString LengthUnitCaption;   // "(in.)" or "(mm)"
extern QString PressUnitCaption;    // "(Psi)"

// Sets the three captions from UnitSystem.
void SetUnitCaptions();
// The temperature caption of a unit system: "(°F)" for 1, "(°C)" for any other.
QString TempCaptionOf(int unitSystem);

// True when a file (not a folder) of that name exists. The file is never opened.
bool FileExists(const QString& path);

double ToDisplayTemp(double x);
// The same in a given unit system instead of UnitSystem (a grid keeps the units it was filled in).
double ToDisplayTemp(double x, int unitSystem);
double ToStoredTemp(double x);
// The same from a given unit system (a text shown in the units it was typed in).
double ToStoredTemp(double x, int unitSystem);
// Text conversions of an entry: the SI branch reads the text strictly (throws std::invalid_argument when it
// is not a number); with flag 1 the text comes back as it came.
QString ToStoredTempText(const QString& entry);
QString ToDisplayLength(double x);
QString ToDisplayLength(double x, int unitSystem);
// The number that ToDisplayLength writes (inches, or millimetres) before its pattern rounds it, and that
// pattern ("#0.0###" for inches, "#0.0#" for millimetres).
double ToDisplayLengthValue(double x, int unitSystem);
QString DisplayLengthPattern(int unitSystem);
// The number that the text of ToDisplayLength reads (inches to four decimals, or millimetres to two),
// without making the text: for the many points of a chart.
double DisplayLengthNumber(double x);
double ToStoredLength(double x);
double ToDisplayPress(double x);
double ToStoredPress(double x);

// Empties every slot (objects released, numbers 0, texts empty), as at program start.
void Reset();

} // namespace Module1
