#pragma once
// The object name of a member of a control array: the control's name with its index in parentheses,
// "cmdStart(1)". Tests find controls by these names.
#include <QString>

namespace platform {

inline QString controlName(const char* name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

} // namespace platform
