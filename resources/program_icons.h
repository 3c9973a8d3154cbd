// The programs' icons, painted rather than loaded, so every size is sharp and
// no image plugin is needed. The same pictures are written as PNG files for
// the desktop entries at install time (dkq-icons).
#pragma once

#include <QIcon>
#include <QImage>

namespace dkq {

enum class ProgramIcon { Multimon, Dkqsim, Dkq, Modcfg, DkqLogger };

// The icon painted at size × size pixels.
QImage programIconImage(ProgramIcon program, int size);
// The icon at the usual window sizes.
QIcon programIcon(ProgramIcon program);

}  // namespace dkq
