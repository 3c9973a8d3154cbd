#include "widgets/qt_prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>

#include "common/text_file.h"
#include "widgets/close_on_signal.h"

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
    if (closingBySignal() || dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

void setUpSaveDialog(QFileDialog& dialog, const std::string& filter,
                     const std::string& defaultExtension) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(qtNameFilter(filter));
    dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
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
    if (closingBySignal()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QApplication::applicationName()), text.c_str());
        return;
    }
    QMessageBox box(boxIcon(icon), title(), QString::fromStdString(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtPrompter::askYesNo(const std::string& text, DefaultAnswer byDefault) {
    if (closingBySignal()) return false;
    QMessageBox box(QMessageBox::Question, title(), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(byDefault == DefaultAnswer::No ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtPrompter::chooseSaveFile(const std::string& filter,
                                                      const std::string& defaultExtension,
                                                      const std::string& initialName) {
    QFileDialog dialog(parent_, "Zapisz jako");
    setUpSaveDialog(dialog, filter, defaultExtension);
    if (!initialName.empty()) dialog.selectFile(QString::fromStdString(initialName));
    return chosenFile(dialog);
}

// The dialog's own question would be about the name as typed; it is asked
// here about the name in capitals. After a No the dialog opens again.
std::optional<std::string> QtPrompter::chooseSaveFileInCapitals(
    const std::string& filter, const std::string& defaultExtension) {
    QString typed;
    for (;;) {
        QFileDialog dialog(parent_, "Zapisz jako");
        setUpSaveDialog(dialog, filter, defaultExtension);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (!typed.isEmpty()) dialog.selectFile(typed);
        const auto chosen = chosenFile(dialog);
        if (!chosen) return std::nullopt;
        const QFileInfo written(QString::fromStdString(withUpperCaseFileName(*chosen)));
        if (!written.exists() ||
            askYesNo(QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                         .arg(written.fileName())
                         .toStdString(),
                     DefaultAnswer::No))
            return written.filePath().toStdString();
        typed = QString::fromStdString(*chosen);
    }
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
