#pragma once
// A window's layout as an operator would judge it: every visible control of a container inside the given
// area, none overlapping another, and no text clipped (buttons, labels, check and option boxes, combo box
// entries, tabs).
#include <QRect>
#include <QStringList>

class QWidget;

namespace testsupport {

// The faults found among container's visible direct children; empty when the layout is sane.
QStringList layoutFaults(QWidget* container, QRect area);

// The area of a group box below its title.
QRect belowTitle(QWidget* groupBox);

} // namespace testsupport
