#pragma once
// The unit link as the real-time screens name it. The commands and the link object live with the records
// (records/UnitLink.h), so the calibration screen sends its factory zero through the same code.
#include "records/UnitLink.h"

namespace realtime {

namespace linkchar = unitlink::linkchar;

using unitlink::PreheatPauseMs;
using unitlink::SetTemperaturePauseMs;
using unitlink::StopCellPauseSequenceMs;
using unitlink::StopCellPauseSimpleMs;
using unitlink::StopGapMs;

using unitlink::cellLetter;
using unitlink::factoryZeroCommand;
using unitlink::preheatCommand;
using unitlink::setPointField;
using unitlink::setTemperatureCommand;
using unitlink::stopCellCommand;
using unitlink::UnitSerialLink;

} // namespace realtime
