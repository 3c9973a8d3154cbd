// What the window programs do around their main window: the command words,
// a picture of the window for documentation and headless runs, and the
// language of Qt's standard dialogs.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

class QWidget;

namespace dkq {

// The words after the program name, at most as many as the command line of
// the original platform held.
std::vector<std::string> commandWordsOf(const QStringList& arguments);

// A picture of the widget written whole as a PNG file, as every file written
// whole is (a link at the name replaced, never followed); false when it
// cannot be written.
bool writePicture(QWidget& widget, const std::string& path);

// When the environment variable names a PNG file, the window takes a picture
// of itself into it ten seconds after the start.
void takePictureWhenAsked(QWidget& window, const char* variable);

// Standard dialogs and buttons ("Anuluj", "Tak", "Nie") in Polish, from Qt's
// own translations, whatever the system's language.
void usePolishStandardDialogs();

}  // namespace dkq
