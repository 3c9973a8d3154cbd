// What the window programs do around their main window: the command words,
// a picture of the window for documentation and headless runs, and telling
// about records lost at closing.
#pragma once

#include <QStringList>
#include <cstddef>
#include <string>
#include <vector>

#include "common/prompter.h"

class QWidget;

namespace dkq {

// The words after the program name, at most as many as the command line of
// the original platform held.
std::vector<std::string> commandWordsOf(const QStringList& arguments);

// When the environment variable names a PNG file, the window takes a picture
// of itself into it ten seconds after the start.
void takePictureWhenAsked(QWidget& window, const char* variable);

// Records that still could not be written when the window closed: a message
// box when the user closed it, a line on standard error when a signal did
// (SignalCloser marks the window; no one is there to answer a box).
void reportLostRecords(const QWidget& window, Prompter& prompter, std::size_t count,
                       const char* program);

}  // namespace dkq
