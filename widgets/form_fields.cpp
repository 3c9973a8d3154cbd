#include "widgets/form_fields.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

namespace dkq {

QLineEdit* readOnlyField(const QString& objectName, int width) {
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAlignment(Qt::AlignCenter);
    if (width > 0) field->setFixedWidth(width);
    return field;
}

QLineEdit* numberField(const QString& objectName, int top) {
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setValidator(new QIntValidator(0, top, field));
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(top > 99 ? 64 : 34);
    return field;
}

QPushButton* plainButton(const QString& text, const QString& objectName) {
    auto* button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

bool swallowClosingKey(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Enter:
        case Qt::Key_Return:
            event->accept();
            return true;
        default:
            return false;
    }
}

QLabel* alarmLabel(const QString& text, const QString& objectName) {
    auto* label = new QLabel(text);
    label->setObjectName(objectName);
    label->setStyleSheet("color: #c00000; font-weight: bold;");
    keepPlaceWhenHidden(label);
    label->setVisible(false);
    return label;
}

void setFieldText(QLineEdit* field, const QString& text) {
    if (field->text() != text) field->setText(text);
}

void setNumberField(QLineEdit* field, int value) {
    bool ok = false;
    if (field->text().toInt(&ok) != value || !ok) field->setText(QString::number(value));
}

int fieldNumber(const QLineEdit* field) {
    return field->text().toInt();
}

QHBoxLayout* labelledRow(const QString& label, std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label));
    for (QWidget* widget : widgets) row->addWidget(widget);
    row->addStretch();
    return row;
}

void addTimeRow(QGridLayout* grid, int row, const QString& label,
                std::array<QLineEdit*, 3>& fields) {
    grid->addWidget(new QLabel(label), row, 0);
    constexpr std::array units = {"h", "min", "s"};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int column = 1 + 2 * static_cast<int>(i);
        grid->addWidget(fields[i], row, column);
        grid->addWidget(new QLabel(units[i]), row, column + 1);
    }
    grid->setColumnStretch(7, 1);
}

void showTime(std::array<QLineEdit*, 3>& fields, int seconds) {
    setNumberField(fields[0], seconds / 3600);
    setNumberField(fields[1], seconds % 3600 / 60);
    setNumberField(fields[2], seconds % 60);
}

std::array<QLabel*, 2> supplyAlarmLabels() {
    return {alarmLabel("Zasilanie !", "uzAlarmLabel"), alarmLabel("Zasilanie !", "vccAlarmLabel")};
}

void showSupplyAlarms(const std::array<QLabel*, 2>& labels, const OutputReadback& readback) {
    const std::array<const std::string*, 2> alarms = {&readback.supplyAlarms.uz,
                                                      &readback.supplyAlarms.vcc};
    for (std::size_t i = 0; i < alarms.size(); ++i) {
        labels[i]->setText(QString::fromStdString(*alarms[i]));
        labels[i]->setVisible(readback.checked && !alarms[i]->empty());
    }
}

}  // namespace dkq
