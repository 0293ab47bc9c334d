#pragma once
// A window's layout as an operator would judge it: every visible control of a container inside the given
// area, none overlapping another, and no text clipped (buttons, labels, check and option boxes, combo box
// entries, tabs).
#include <QRect>
#include <QStringList>

class QWidget;

namespace testsupport {

// What else a check takes into account.
struct LayoutRules {
    // Hidden controls are checked too, as they would stand when shown (an alarm that appears later).
    bool hiddenToo = false;
    // Pixels a label's text must leave free inside its contents (a margin for the widest readings).
    int labelReserve = 0;
};

// The faults found among container's visible direct children (all of them with rules.hiddenToo); empty
// when the layout is sane.
QStringList layoutFaults(QWidget* container, QRect area, const LayoutRules& rules = {});

// The area of a group box below its title.
QRect belowTitle(QWidget* groupBox);

} // namespace testsupport
