// "Ustawienia linii wejściowych: Moduł X (adres: NN)": names, presentation
// kinds and display ranges of one module's lines and counters. Works on a
// copy; channels() holds the stored result once the dialog was accepted.
#pragma once

#include <QDialog>
#include <array>

#include "monitor/line_setup.h"
#include "widgets/qt_prompter.h"

class QButtonGroup;
class QLineEdit;

namespace dkq {

class LineSetupDialog : public QDialog {
    Q_OBJECT

  public:
    // multimon: module m's caption and label.
    LineSetupDialog(int module, int busAddress, const ChannelTable& channels,
                    QWidget* parent = nullptr);
    // A caption of its own and, unless empty, a label above the lines.
    LineSetupDialog(const QString& caption, const QString& label, const ChannelTable& channels,
                    QWidget* parent = nullptr);

    const ChannelTable& channels() const { return channels_; }

    void accept() override;

  private:
    struct EntryFields {
        QLineEdit* name = nullptr;
        QButtonGroup* kinds = nullptr;  // lines only
        QLineEdit* min = nullptr;
        QLineEdit* max = nullptr;
    };

    QWidget* buildEntries();
    void showFields(const LineSetupFields& fields);
    LineSetupFields takeFields() const;
    QLineEdit* fieldEdit(int field) const;

    ChannelTable channels_;
    std::array<EntryFields, EntryCount> entries_;
    QtPrompter prompter_{this};
};

}  // namespace dkq
