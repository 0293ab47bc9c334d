#pragma once
// The settings file "initial.txt" in the working folder: the serial port of each of the eight unit
// positions (0 = no unit, 1..20 = serial port, -1 = no choice made) and then the unit-system flag
// (1 = English, any other value SI). One whole number a line in the printed style (" 4 ", "-1 "), CR LF.
//
// Readers take the values one after another, each delimited by blanks, line ends or a comma, and stop at
// the first failure; the windows keep what was read before it, as each of them needs.
#include "records/WorkFiles.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace SettingsFile {

inline const QString FileName = QStringLiteral("initial.txt");
constexpr int PortCount = 8;
constexpr int ValueCount = 9;   // eight ports, then the unit-system flag
constexpr int FlagPosition = 9;
// The range of a port value as the hardware tab's port lists hold it ("None", "Comm 1" .. "Comm 20", or
// nothing chosen).
constexpr int LowestPort = -1;
constexpr int HighestPort = 20;

struct ReadResult {
    // The values read, in file order: all those asked for, or those before the failure.
    std::vector<int> values;
    // Why reading stopped early: file not found, fewer values than asked (input past end of file), a value
    // that is not a number (type mismatch) or not a whole number of range (overflow), and for the hardware
    // tab a port outside -1..20 (invalid property value).
    std::optional<FileFailure> failure;

    bool ok() const { return !failure; }
    // Value k (1-based) when it was read.
    std::optional<int> value(int k) const;
};

// Reads the first `count` values (1..9). Unit k's port is value k, the unit-system flag value 9.
ReadResult read(int count = ValueCount);

// Reads the nine values for the hardware tab: as read(), and a port value outside -1..20 stops the reading
// at that value with "Invalid property value" (the value is not among `values`). The flag may be any number.
ReadResult readHardware();

// The file text of nine values: each in the printed style (" 4 ", "-1 ") followed by CR LF.
QByteArray text(const std::array<int, PortCount>& ports, int unitSystem);

// Writes the file (as "initial.txt", replacing a spelling of the name in another case). A failure leaves the
// old file as it was.
std::optional<FileFailure> write(const std::array<int, PortCount>& ports, int unitSystem);

} // namespace SettingsFile
