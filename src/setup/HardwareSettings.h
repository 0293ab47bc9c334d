#pragma once
// The rules of the hardware tab: the entries of a unit's port list and the check that no two units share
// a serial port.
#include "records/SettingsFile.h"

#include <QString>
#include <QStringList>
#include <array>

namespace setup {

inline const QString PortInUseMessage = QStringLiteral("This comm port is already in use, please choose another.");

// "None", "Comm 1" .. "Comm 20": entry k is serial port k.
QStringList PortEntries();

// The first unit (1..8) whose choice another, later unit shares; 0 when there is none. A choice is the
// entry's position (0 = "None", k = "Comm k", -1 = nothing chosen). Units on "None" never clash; two units
// without a choice do.
int FirstSharedPort(const std::array<int, SettingsFile::PortCount>& choices);

} // namespace setup
