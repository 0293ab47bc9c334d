#include "setup/HardwareSettings.h"

namespace setup {

QStringList PortEntries()
{
    QStringList entries{QStringLiteral("None")};
    for (int k = 1; k <= SettingsFile::HighestPort; ++k) entries << QStringLiteral("Comm %1").arg(k);
    return entries;
}

int FirstSharedPort(const std::array<int, SettingsFile::PortCount>& choices)
{
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i] == 0) continue;
        for (std::size_t j = i + 1; j < choices.size(); ++j)
            if (choices[j] == choices[i]) return int(i) + 1;
    }
    return 0;
}

} // namespace setup
