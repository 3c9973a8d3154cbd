// The About box every window program shows ("O programie ..."), and the
// "&O programie..." action that opens it from the window's context menu and
// F1 (the system menu item of the original platform).
#pragma once

#include <QIcon>
#include <QStringList>

class QWidget;

namespace dkq {

inline constexpr const char* AboutTitle = "O programie ...";

// A modal box titled title with the program's icon, its lines of text and OK.
void showAboutBox(QWidget* parent, const QIcon& icon, const QStringList& lines,
                  const QString& title = AboutTitle);

// Adds "&O programie..." (F1, right click) to window; it shows the box.
void addAboutAction(QWidget* window, const QIcon& icon, const QStringList& lines,
                    const QString& title = AboutTitle);

}  // namespace dkq
