#include "dkq-logger/logging_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "forms/field_reader.h"

namespace dkq {
namespace {

constexpr int MaxPeriodSeconds = 65535;
// Rows of the item grid, first and last item of each; the named items
// after them share one row of their own.
constexpr std::array<std::pair<int, int>, 5> GridRows = {
    {{1, 8}, {9, 16}, {17, 20}, {21, 28}, {29, 32}}};
constexpr int FirstNamedItem = 33;

}  // namespace

LoggingSettingsDialog::LoggingSettingsDialog(const logger::LoggingSettings& settings,
                                             QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle("Ustawienia logowania");
    loggingOn_ = new QCheckBox("Logowanie włączone");
    loggingOn_->setObjectName("loggingOnBox");
    loggingOn_->setChecked(settings.loggingOn);
    cyclicBuffer_ = new QCheckBox("Bufor cykliczny");
    cyclicBuffer_->setObjectName("cyclicBox");
    cyclicBuffer_->setChecked(settings.cyclicBuffer);
    period_ = new QLineEdit(QString::number(settings.periodSeconds));
    period_->setObjectName("periodField");
    period_->setMaximumWidth(80);

    auto* top = new QHBoxLayout;
    top->addWidget(loggingOn_);
    top->addSpacing(16);
    top->addWidget(cyclicBuffer_);
    top->addSpacing(16);
    top->addWidget(new QLabel("Okres zapisu:"));
    top->addWidget(period_);
    top->addWidget(new QLabel("sekund"));
    top->addStretch();

    auto* buttons = new QDialogButtonBox;
    auto* enter = buttons->addButton("Wprowadź", QDialogButtonBox::AcceptRole);
    enter->setObjectName("acceptButton");
    auto* cancel = buttons->addButton("Anuluj", QDialogButtonBox::RejectRole);
    cancel->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &LoggingSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LoggingSettingsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buildItems());
    layout->addWidget(buttons);
}

QWidget* LoggingSettingsDialog::buildItems() {
    auto* group = new QGroupBox("Wybór zapisywanych rejestrów");
    const auto box = [this](int item) {
        auto* check = new QCheckBox(QString::fromStdString(logger::loggedItemName(item)));
        check->setObjectName(QString("itemBox%1").arg(item));
        check->setChecked(logger::isLogged(settings_.mask, item));
        items_[static_cast<std::size_t>(item - 1)] = check;
        return check;
    };
    auto* grid = new QGridLayout;
    for (int row = 0; row < static_cast<int>(GridRows.size()); ++row) {
        const auto [first, last] = GridRows[static_cast<std::size_t>(row)];
        for (int item = first; item <= last; ++item) grid->addWidget(box(item), row, item - first);
    }
    auto* named = new QHBoxLayout;
    for (int item = FirstNamedItem; item <= ItemBoxes; ++item) named->addWidget(box(item));
    named->addStretch();
    auto* layout = new QVBoxLayout(group);
    layout->addLayout(grid);
    layout->addLayout(named);
    return group;
}

void LoggingSettingsDialog::accept() {
    FieldReader reader;
    const int period = reader.integer(0, period_->text().toStdString(), 0, MaxPeriodSeconds);
    if (!reader.ok()) return refuseField(prompter_, reader.problem()->prompt, period_);
    settings_.loggingOn = loggingOn_->isChecked();
    settings_.cyclicBuffer = cyclicBuffer_->isChecked();
    settings_.periodSeconds = period;
    for (int item = 1; item <= ItemBoxes; ++item)
        logger::setLogged(settings_.mask, item,
                          items_[static_cast<std::size_t>(item - 1)]->isChecked());
    QDialog::accept();
}

}  // namespace dkq
