// Prompter with Qt's message boxes and file dialogs, for every window of the
// suite. Messages carry the title of the window they belong to. Once a signal
// has closed the program nothing is asked: a message goes to standard error,
// a question is answered No and a file dialog is cancelled.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "common/prompter.h"

class QLineEdit;
class QWidget;

namespace dkq {

// A file filter of the "Description (*.EXT)|*.ext||" form as Qt takes it:
// "Description (*.EXT *.ext)", so both spellings show on a case-sensitive
// file system.
QString qtNameFilter(const std::string& filter);

// Refuses a dialog's OK: shows the prompt and puts the cursor in the field
// to mend, its text selected.
void refuseField(Prompter& prompter, const std::string& prompt, QLineEdit* field);

class QtPrompter : public Prompter {
  public:
    explicit QtPrompter(QWidget* parent) : parent_(parent) {}

    void message(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text, DefaultAnswer byDefault) override;
    std::optional<std::string> chooseSaveFile(const std::string& filter,
                                              const std::string& defaultExtension,
                                              const std::string& initialName) override;
    std::optional<std::string> chooseSaveFileInCapitals(
        const std::string& filter, const std::string& defaultExtension) override;
    // An Open dialog for an existing file.
    std::optional<std::string> chooseOpenFile(const std::string& filter);

  private:
    QString title() const;

    QWidget* parent_;
};

}  // namespace dkq
