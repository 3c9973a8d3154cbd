#include "widgets/qt_prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>

namespace dkq {
namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

std::optional<std::string> chosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

}  // namespace

QString qtNameFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        QString description = parts[i];
        const QString& pattern = parts[i + 1];
        const qsizetype close = description.lastIndexOf(u')');
        if (close < 0)
            description += " (" + pattern + ")";
        else if (!description.contains(pattern))
            description.insert(close, " " + pattern);
        filters << description;
    }
    return filters.join(";;");
}

void QtPrompter::message(const std::string& text, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), title(), QString::fromStdString(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtPrompter::askYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, title(), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtPrompter::chooseSaveFile(const std::string& filter,
                                                      const std::string& defaultExtension,
                                                      const std::string& initialName) {
    QFileDialog dialog(parent_, "Zapisz jako");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(qtNameFilter(filter));
    dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
    if (!initialName.empty()) dialog.selectFile(QString::fromStdString(initialName));
    return chosenFile(dialog);
}

std::optional<std::string> QtPrompter::chooseOpenFile(const std::string& filter) {
    QFileDialog dialog(parent_, "Otwórz");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(qtNameFilter(filter));
    return chosenFile(dialog);
}

QString QtPrompter::title() const {
    if (parent_ != nullptr && !parent_->window()->windowTitle().isEmpty())
        return parent_->window()->windowTitle();
    return QApplication::applicationDisplayName();
}

void refuseField(Prompter& prompter, const std::string& prompt, QLineEdit* field) {
    prompter.message(prompt, MessageIcon::Exclamation);
    field->setFocus();
    field->selectAll();
}

}  // namespace dkq
