#pragma once
// The two calibration files of the working folder.
//
// "Calib.dat" (displacement): line k belongs to unit k (1..8) and holds 14 fields, each followed by ",":
// CalVolt1, CalVolt2, CalVolt3, CalIntercept1, CalSlope1, CalIntercept2, CalSlope2 of cell A, then of cell B.
// A never calibrated unit has an empty line or none. Readings are written as the calibration screen shows
// them ("0.5"), fits in the printed form (" .2 ", "-.125 ", " 1E-05 "); a reader ignores blanks around a
// field and takes an empty field as 0.
//
// "pcalinfo.csv" (pressure): 8 lines, line k unit k's 8 fields, each followed by ",": PressVoltZero,
// PressVolt1000, PressIntercept, PressSlope of cell A, then of cell B, as the pressure tab's labels show them.
//
// Both files are found whatever the case of their names, and a save rewrites the whole file under the name
// given here, replacing a spelling in another case. Every failure is found before the file is replaced, and
// the replacement itself never leaves a cut file.
#include "records/Module1.h"
#include "records/WorkFiles.h"

#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace CalibrationFile {

inline const QString FileName = QStringLiteral("Calib.dat");
// The name of the empty file that readUnit() creates when there is no calibration file at all.
inline const QString CreatedFileName = QStringLiteral("calib.dat");
constexpr int UnitCount = 8;
constexpr int FieldsPerCell = 7;
constexpr int FieldsPerLine = 14;
constexpr int MaxLinesRead = 18;   // a save refuses a longer file

inline const QString NoCalibrationDataMessage =
    QStringLiteral("No calibration data saved, please complete calibration first");
// "Unit 2, Cell B  not calibrated yet!" (cell 1 = A, 2 = B).
QString notCalibratedMessage(int unit, int cell);

// False when the lower segment (CalIntercept1 and CalSlope1 both 0) or the upper one (CalIntercept2 and
// CalSlope2 both 0) is empty.
bool isCalibrated(const Module1::CellCalibration& c);

struct UnitRead {
    enum class Outcome {
        Read,           // cells hold the unit's line; warn about each of notCalibrated and go on
        NoLineForUnit,  // the file ends before the unit's line: NoCalibrationDataMessage, stop
        FileMissing,    // there was no file: an empty "calib.dat" was created; NoCalibrationDataMessage, stop
        Failed,         // failure: the file could not be read or a field is not a number; stop
    };
    Outcome outcome = Outcome::Failed;
    // [1] = cell A, [2] = cell B, as in Module1::Calibration. Missing fields of a short line read as 0.
    std::array<Module1::CellCalibration, 3> cells{};
    // Cells (1, 2) found not calibrated, in reading order. With Failed: those read whole before the failure.
    std::vector<int> notCalibrated;
    std::optional<FileFailure> failure;
};

// Reads unit `unit`'s line (1..8) of "Calib.dat" for a unit screen. Only that line is read: a line with
// fewer than 14 fields is completed with zeros, fields after the 14th are ignored. When no file of that
// name exists in any case, an empty "calib.dat" is created; an existing file is never changed.
UnitRead readUnit(int unit);

// A cell's new displacement fit: the three readings as the screen shows them and the fitted values.
struct HeightFit {
    QString CalVolt1;
    QString CalVolt2;
    QString CalVolt3;
    double CalIntercept1 = 0;
    double CalSlope1 = 0;
    double CalIntercept2 = 0;
    double CalSlope2 = 0;
};

// The height save: replaces unit `unit`'s line. A cell with a fit gets the new field texts; a cell without
// (nullopt) keeps the 7 old field texts of its place character for character (missing ones empty). The other
// units' lines are copied; exactly 8 lines are written (CR LF), lines after the 8th dropped. A unit outside
// 1..8 replaces no line. No file yet: one is created. Refused with the file unchanged: more than 18 lines
// ("Subscript out of range"), a file that cannot be read or replaced.
std::optional<FileFailure> saveHeight(int unit, const std::optional<HeightFit>& cellA,
                                      const std::optional<HeightFit>& cellB);

// The unit of a save, from the tab's unit choice text ("UNIT 3"): its sixth character read as a number,
// 0 when that is not a digit.
int unitFromChoice(const QString& choiceText);

} // namespace CalibrationFile

namespace PressureCalibrationFile {

inline const QString FileName = QStringLiteral("pcalinfo.csv");
constexpr int LineCount = 8;

// The texts of one cell's pressure labels: lbldata4, lbldata5, lblIntercept, lblSlope.
struct CellTexts {
    QString PressVoltZero;
    QString PressVolt1000;
    QString PressIntercept;
    QString PressSlope;
};

// The pressure save: replaces unit `unit`'s line with both cells' texts and copies the other 7 lines.
// Refused with nothing created or changed: no file ("File not found"), fewer than 8 lines ("Input past end
// of file"), a file that cannot be read or replaced. Lines after the 8th are dropped.
std::optional<FileFailure> save(int unit, const CellTexts& cellA, const CellTexts& cellB);

} // namespace PressureCalibrationFile
