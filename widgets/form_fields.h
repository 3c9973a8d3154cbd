// Small pieces the monitor windows are built of: read-only and number
// fields, buttons that ignore Enter, alarm labels that keep their place, and
// rows of labelled fields.
#pragma once

#include <QString>
#include <array>
#include <initializer_list>

#include "monitor/monitor_report.h"

class QGridLayout;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace dkq {

QLineEdit* readOnlyField(const QString& objectName, int width);
// An integer field 0..top.
QLineEdit* numberField(const QString& objectName, int top);
// Buttons never react to Enter: it does nothing in the main windows.
QPushButton* plainButton(const QString& text, const QString& objectName);
// Hidden widgets keep their place, so nothing moves when one shows.
void keepPlaceWhenHidden(QWidget* widget);
// Escape and Enter never close a monitor window: true (the key taken) for
// those, false for any other key.
bool swallowClosingKey(QKeyEvent* event);
// A hidden red label.
QLabel* alarmLabel(const QString& text, const QString& objectName);

// Rewrite a field only when its content changes, so a field being edited
// keeps its cursor.
void setFieldText(QLineEdit* field, const QString& text);
void setNumberField(QLineEdit* field, int value);
int fieldNumber(const QLineEdit* field);

// A label followed by widgets.
QHBoxLayout* labelledRow(const QString& label, std::initializer_list<QWidget*> widgets);
// A row of the grid: label, hours, minutes and seconds fields with their
// unit letters, so that the fields of several rows stand in line.
void addTimeRow(QGridLayout* grid, int row, const QString& label,
                std::array<QLineEdit*, 3>& fields);
// Seconds into hours, minutes and seconds fields.
void showTime(std::array<QLineEdit*, 3>& fields, int seconds);

// The two "Zasilanie !" labels (Uz, Vcc) and how a read-back sets them.
std::array<QLabel*, 2> supplyAlarmLabels();
void showSupplyAlarms(const std::array<QLabel*, 2>& labels, const OutputReadback& readback);

}  // namespace dkq
