// Small pieces the configurator's windows are built from: number edits, radio
// rows, and taking edits into numbers with the platform's validation prompts.
#pragma once

#include <QString>
#include <QStringList>
#include <climits>
#include <string>
#include <vector>

#include "forms/field_reader.h"

class QBoxLayout;
class QButtonGroup;
class QLineEdit;
class QWidget;

namespace dkq {

class Prompter;

QLineEdit* numberEdit(const QString& objectName, int digits = 6);
void showNumber(QLineEdit* edit, int value);
// Radio buttons with ids 0..n-1 added to row; the group is named name.
QButtonGroup* radioRow(QWidget* owner, QBoxLayout* row, const QStringList& labels,
                       const QString& name);
// Checks button id, or none when the group has no such button (-1, 3).
void selectRadio(QButtonGroup* group, int id);

// Takes edits in order; the first that fails stops the taking, and its
// prompt is shown with the cursor in it by finish().
class FieldTaker {
  public:
    explicit FieldTaker(Prompter& prompter) : prompter_(prompter) {}
    // Assigns target only while every field so far was good.
    bool integer(QLineEdit* edit, int& target, int min = INT_MIN, int max = INT_MAX);
    bool text(QLineEdit* edit, std::string& target, std::size_t maxChars);
    bool ok() const { return reader_.ok(); }
    // Shows the problem, if any; true when every field was good.
    bool finish();

  private:
    int add(QLineEdit* edit);

    Prompter& prompter_;
    FieldReader reader_;
    std::vector<QLineEdit*> edits_;
};

}  // namespace dkq
