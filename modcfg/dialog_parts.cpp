#include "modcfg/dialog_parts.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QLineEdit>
#include <QRadioButton>

#include "widgets/qt_prompter.h"

namespace dkq {

QLineEdit* numberEdit(const QString& objectName, int digits) {
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    const QFontMetrics metrics(edit->font());
    edit->setFixedWidth(metrics.horizontalAdvance(QString(digits, u'0')) + 14);
    return edit;
}

void showNumber(QLineEdit* edit, int value) {
    edit->setText(QString::number(value));
}

QButtonGroup* radioRow(QWidget* owner, QBoxLayout* row, const QStringList& labels,
                       const QString& name) {
    auto* group = new QButtonGroup(owner);
    group->setObjectName(name);
    for (int id = 0; id < labels.size(); ++id) {
        auto* button = new QRadioButton(labels[id]);
        button->setObjectName(name + QString::number(id));
        group->addButton(button, id);
        row->addWidget(button);
    }
    return group;
}

void selectRadio(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) button->setChecked(false);
    group->setExclusive(true);
}

int FieldTaker::add(QLineEdit* edit) {
    edits_.push_back(edit);
    return static_cast<int>(edits_.size()) - 1;
}

bool FieldTaker::integer(QLineEdit* edit, int& target, int min, int max) {
    const int value = reader_.integer(add(edit), edit->text().toStdString(), min, max);
    if (reader_.ok()) target = value;
    return reader_.ok();
}

bool FieldTaker::text(QLineEdit* edit, std::string& target, std::size_t maxChars) {
    std::string value = reader_.text(add(edit), edit->text().toStdString(), maxChars);
    if (reader_.ok()) target = std::move(value);
    return reader_.ok();
}

bool FieldTaker::finish() {
    if (const auto& problem = reader_.problem()) {
        refuseField(prompter_, problem->prompt, edits_[static_cast<std::size_t>(problem->field)]);
        return false;
    }
    return true;
}

}  // namespace dkq
