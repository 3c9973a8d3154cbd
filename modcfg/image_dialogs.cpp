#include "modcfg/image_dialogs.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "modcfg/configurator_core.h"
#include "modcfg/dialog_parts.h"

namespace dkq {
namespace {

constexpr int PwmLimit = 32767;
constexpr std::size_t MaxLcdTextChars = 255;
const QStringList OpLabels{"samo", "+", "-", "*"};

QCheckBox* namedBox(const QString& text, const QString& name) {
    auto* box = new QCheckBox(text);
    box->setObjectName(name);
    return box;
}

QLabel* label(const QString& text) {
    return new QLabel(text);
}

QFrame* separator() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// "Autonomiczne sterowanie liniami wyjściowymi" (or another switch) with
// its box "włączone".
QCheckBox* switchRow(QGridLayout* grid, int row, const QString& text, const QString& name,
                     const QString& boxText = "włączone") {
    grid->addWidget(label(text), row, 0);
    QCheckBox* box = namedBox(boxText, name);
    grid->addWidget(box, row, 1);
    return box;
}

}  // namespace

// --- every editing window -----------------------------------------------------

ImageDialog::ImageDialog(ConfigImage& image, const QString& title, QWidget* parent)
    : QDialog(parent), image_(image) {
    setWindowTitle(title);
}

void ImageDialog::finishLayout(QLayout* content) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &ImageDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ImageDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(content);
    layout->addWidget(buttons);
}

int ImageDialog::exec() {
    load();
    return QDialog::exec();
}

void ImageDialog::open() {
    load();
    QDialog::open();
}

void ImageDialog::accept() {
    if (store()) QDialog::accept();
}

// --- output rules -------------------------------------------------------------

OutputRulesDialog::OutputRulesDialog(ConfigImage& image, int firstOutput, QWidget* parent)
    : ImageDialog(image,
                  QString("Sterowanie liniami O%1...O%2").arg(firstOutput).arg(firstOutput + 3),
                  parent),
      firstOutput_(firstOutput) {
    auto* content = new QVBoxLayout;
    auto* top = new QGridLayout;
    sterOn_ = switchRow(top, 0, "Autonomiczne sterowanie liniami wyjściowymi", "sterOnBox");
    top->setColumnStretch(2, 1);
    content->addLayout(top);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    for (int n = 0; n < Outputs; ++n) {
        const int output = firstOutput + n;
        grid->addWidget(separator(), 3 * n, 0, 1, -1);
        rows_[static_cast<std::size_t>(2 * n)] = buildRow(grid, 3 * n + 1, output, true);
        rows_[static_cast<std::size_t>(2 * n + 1)] = buildRow(grid, 3 * n + 2, output, false);
    }
    content->addLayout(grid);
    if (firstOutput == 1) {  // the hidden debug aid of the first window
        auto* test = new QPushButton("test");
        test->setObjectName("testButton");
        test->hide();
        connect(test, &QPushButton::clicked, this, &OutputRulesDialog::showDebugText);
        debugOn_ = new QLineEdit;
        debugOn_->setObjectName("debugOnText");
        debugOff_ = new QLineEdit;
        debugOff_->setObjectName("debugOffText");
        for (QLineEdit* text : {debugOn_, debugOff_}) {
            text->setReadOnly(true);
            text->hide();
            content->addWidget(text);
        }
        content->addWidget(test);
    }
    finishLayout(content);
}

OutputRulesDialog::RuleRow OutputRulesDialog::buildRow(QGridLayout* grid, int gridRow, int output,
                                                       bool switchOn) {
    const QString suffix = QString(switchOn ? "On" : "Off") + QString::number(output);
    RuleRow row;
    int column = 0;
    const auto put = [&](QWidget* widget) { grid->addWidget(widget, gridRow, column++); };
    const auto putGroup = [&](const QStringList& labels, const QString& name) {
        auto* box = new QHBoxLayout;
        box->setSpacing(2);
        QButtonGroup* group = radioRow(this, box, labels, name + suffix);
        grid->addLayout(box, gridRow, column++);
        return group;
    };
    put(label(QString("Wyjście O%1").arg(output)));
    put(row.enabled = namedBox(switchOn ? "włącz," : "wyłącz,", "enabled" + suffix));
    put(label("kiedy L"));
    put(row.reg1 = numberEdit("reg1" + suffix, 3));
    row.op = putGroup(OpLabels, "op");
    put(label("L"));
    put(row.reg2 = numberEdit("reg2" + suffix, 3));
    row.rel = putGroup({">", "<"}, "rel");
    put(row.val = numberEdit("val" + suffix, 5));
    put(label("mV."));
    if (!switchOn) return row;
    put(label("Włącz :"));
    row.cp = putGroup({"Ciągle", "Impulsowo", "Cyklicznie"}, "cp");
    auto* times = new QHBoxLayout;
    times->setSpacing(2);
    times->addWidget(label("T1="));
    times->addWidget(row.t1 = numberEdit("t1" + suffix, 3));
    times->addWidget(label("s"));
    times->addSpacing(6);
    times->addWidget(label("T2="));
    times->addWidget(row.t2 = numberEdit("t2" + suffix, 3));
    times->addWidget(label("s"));
    grid->addLayout(times, gridRow, column);
    return row;
}

void OutputRulesDialog::showRule(const RuleRow& row, const OutputRule& rule) {
    row.enabled->setChecked(rule.enabled);
    showNumber(row.reg1, rule.reg1);
    selectRadio(row.op, rule.op);
    showNumber(row.reg2, rule.reg2);
    selectRadio(row.rel, rule.rel);
    showNumber(row.val, rule.val);
    if (row.cp == nullptr) return;
    selectRadio(row.cp, rule.cp);
    showNumber(row.t1, rule.t1);
    showNumber(row.t2, rule.t2);
}

void OutputRulesDialog::load() {
    for (int n = 0; n < Outputs; ++n) {
        const OutputRuleSet rules = outputRules(image_, firstOutput_ + n);
        showRule(rows_[static_cast<std::size_t>(2 * n)], rules.on);
        showRule(rows_[static_cast<std::size_t>(2 * n + 1)], rules.off);
    }
    sterOn_->setChecked(modeFlag(image_, ModeBit::SterOn));
}

OutputRule OutputRulesDialog::takeRule(FieldTaker& taker, const RuleRow& row) {
    OutputRule rule;
    rule.enabled = row.enabled->isChecked();
    rule.op = row.op->checkedId();
    rule.rel = row.rel->checkedId();
    taker.integer(row.reg1, rule.reg1);
    taker.integer(row.reg2, rule.reg2);
    taker.integer(row.val, rule.val);
    if (row.cp == nullptr) return rule;
    rule.cp = row.cp->checkedId();
    taker.integer(row.t1, rule.t1);
    taker.integer(row.t2, rule.t2);
    return rule;
}

bool OutputRulesDialog::store() {
    FieldTaker taker(prompter_);
    std::array<OutputRuleSet, Outputs> rules;
    for (std::size_t n = 0; n < rules.size(); ++n)
        rules[n] = {takeRule(taker, rows_[2 * n]), takeRule(taker, rows_[2 * n + 1])};
    if (!taker.finish()) return false;
    for (std::size_t n = 0; n < rules.size(); ++n)
        storeOutputRules(image_, firstOutput_ + static_cast<int>(n), rules[n]);
    setModeFlag(image_, ModeBit::SterOn, sterOn_->isChecked());
    return true;
}

void OutputRulesDialog::showDebugText() {
    FieldTaker taker(prompter_);
    const OutputRule on = takeRule(taker, rows_[0]);
    const OutputRule off = takeRule(taker, rows_[1]);
    if (!taker.finish()) return;
    debugOn_->setText(QString::fromStdString(switchOnDebugText(sterOn_->isChecked(), on)));
    debugOff_->setText(QString::fromStdString(switchOffDebugText(off)));
}

// --- calibration --------------------------------------------------------------

CalibrationDialog::CalibrationDialog(ConfigImage& image, QWidget* parent)
    : ImageDialog(image, "Poprawki kalibracyjne", parent) {
    auto* content = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(enabled_ = namedBox("Włączone", "enabledBox"));
    top->addStretch();
    top->addWidget(label("y=A*x/1000+B [mV]"));
    content->addLayout(top);
    auto* grid = new QGridLayout;
    constexpr int Halves = 2;
    constexpr int PerHalf = cfg::CalibrationLines / Halves;
    for (int half = 0; half < Halves; ++half) {
        const int column = 4 * half;
        grid->addWidget(label("-32767<A<32767"), 0, column + 1);
        grid->addWidget(label("-32767<B<32767"), 0, column + 2);
        for (int k = 0; k < PerHalf; ++k) {
            const int line = half * PerHalf + k;
            grid->addWidget(label(QString("L%1").arg(line + 1)), k + 1, column);
            grid->addWidget(
                a_[static_cast<std::size_t>(line)] = numberEdit(QString("a%1").arg(line + 1)),
                k + 1, column + 1);
            grid->addWidget(
                b_[static_cast<std::size_t>(line)] = numberEdit(QString("b%1").arg(line + 1)),
                k + 1, column + 2);
        }
        grid->setColumnMinimumWidth(column + 3, 24);
    }
    content->addLayout(grid);
    finishLayout(content);
}

void CalibrationDialog::load() {
    for (int k = 1; k <= cfg::CalibrationLines; ++k) {
        const CalibrationPair pair = calibration(image_, k);
        showNumber(a_[static_cast<std::size_t>(k - 1)], pair.a);
        showNumber(b_[static_cast<std::size_t>(k - 1)], pair.b);
    }
    enabled_->setChecked(modeFlag(image_, ModeBit::Calibration));
}

bool CalibrationDialog::store() {
    FieldTaker taker(prompter_);
    std::array<CalibrationPair, cfg::CalibrationLines> pairs;
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        taker.integer(a_[k], pairs[k].a);
        taker.integer(b_[k], pairs[k].b);
    }
    if (!taker.finish()) return false;
    for (std::size_t k = 0; k < pairs.size(); ++k)
        storeCalibration(image_, static_cast<int>(k) + 1, pairs[k]);
    setModeFlag(image_, ModeBit::Calibration, enabled_->isChecked());
    return true;
}

// --- PWM ----------------------------------------------------------------------

PwmDialog::PwmDialog(ConfigImage& image, QWidget* parent)
    : ImageDialog(image, "Sterowanie wyjściami PWM", parent) {
    auto* content = new QVBoxLayout;
    auto* top = new QGridLayout;
    sterOn_ = switchRow(top, 0, "Autonomiczne sterowanie liniami wyjściowymi", "sterOnBox");
    pwmOn_ = switchRow(top, 1, "Generowanie PWM", "pwmOnBox");
    top->setColumnStretch(2, 1);
    content->addLayout(top);
    for (int pwm = 1; pwm <= cfg::PwmOutputs; ++pwm) {
        content->addWidget(separator());
        content->addLayout(buildRow(pwm));
    }
    finishLayout(content);
}

// PWMn(On) = k / 1000 * ( L reg1 op L reg2 ) + c, the fraction drawn over a line.
QLayout* PwmDialog::buildRow(int pwm) {
    PwmRow& row = rows_[static_cast<std::size_t>(pwm - 1)];
    const QString n = QString::number(pwm);
    auto* line = new QHBoxLayout;
    line->addWidget(label(QString("PWM%1(O%2)").arg(pwm).arg(pwm + 10)));
    line->addWidget(row.enabled = namedBox("=", "pwmEnabled" + n));
    auto* fraction = new QVBoxLayout;
    fraction->addWidget(row.k = numberEdit("k" + n));
    fraction->addWidget(separator());
    auto* thousand = label("1000");
    thousand->setAlignment(Qt::AlignCenter);
    fraction->addWidget(thousand);
    line->addLayout(fraction);
    line->addWidget(label("* ( L"));
    line->addWidget(row.reg1 = numberEdit("reg1Pwm" + n, 3));
    row.op = radioRow(this, line, OpLabels, "opPwm" + n);
    line->addWidget(label("L"));
    line->addWidget(row.reg2 = numberEdit("reg2Pwm" + n, 3));
    line->addWidget(label(")  +"));
    line->addWidget(row.c = numberEdit("c" + n));
    line->addStretch();
    return line;
}

void PwmDialog::load() {
    for (int pwm = 1; pwm <= cfg::PwmOutputs; ++pwm) {
        const PwmRule rule = pwmRule(image_, pwm);
        const PwmRow& row = rows_[static_cast<std::size_t>(pwm - 1)];
        row.enabled->setChecked(rule.enabled);
        showNumber(row.k, rule.k);
        showNumber(row.reg1, rule.reg1);
        selectRadio(row.op, rule.op);
        showNumber(row.reg2, rule.reg2);
        showNumber(row.c, rule.c);
    }
    sterOn_->setChecked(modeFlag(image_, ModeBit::SterOn));
    pwmOn_->setChecked(modeFlag(image_, ModeBit::Pwm));
}

bool PwmDialog::store() {
    FieldTaker taker(prompter_);
    std::array<PwmRule, cfg::PwmOutputs> rules;
    for (std::size_t n = 0; n < rules.size(); ++n) {
        const PwmRow& row = rows_[n];
        PwmRule& rule = rules[n];
        rule.enabled = row.enabled->isChecked();
        rule.op = row.op->checkedId();
        taker.integer(row.k, rule.k, -PwmLimit, PwmLimit);
        taker.integer(row.reg1, rule.reg1);
        taker.integer(row.reg2, rule.reg2);
        taker.integer(row.c, rule.c, -PwmLimit, PwmLimit);
    }
    if (!taker.finish()) return false;
    for (std::size_t n = 0; n < rules.size(); ++n)
        storePwmRule(image_, static_cast<int>(n) + 1, rules[n]);
    setModeFlag(image_, ModeBit::SterOn, sterOn_->isChecked());
    setModeFlag(image_, ModeBit::Pwm, pwmOn_->isChecked());
    return true;
}

// --- variable codes -------------------------------------------------------------

VarCodesDialog::VarCodesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Kody zmiennych");
    static const char* const Lines[] = {
        "Kody komend:",
        "#26- komenda LCD",
        "  ($80-linia 1, $C0-linia2, $94-linia3,",
        "   $D4-linia4, $FE-init )",
        "#27- temperatura[C] 6 znaków",
        "#28- temperatura[C] (3-6 znaków)",
        "#29- U[V] 5-6 znaków",
        "#30- zawartość rejestru (4-5 znaków)",
        "#20- zawartość rejestru (1 cyfra po przecinku)",
        "#21- zawartość rejestru (2 cyfry po przecinku)",
        "#24- zawartość rejestru (2-5 znaków)",
        "",
        "#22- stan wejścia L (0/1)",
        "#23- stan wejścia L (OFF/ON)",
        "#25- stan wejścia C (0/1)",
        "#31- stan wyjścia O (0/1)",
        "",
        "Adresy zmiennych:",
        "#01...#16 - linie L1...L16",
        "#17...#20 - liczniki C1...C4",
        "#19, #20 - T,RH z czujnika HV-2C",
        "#21...#32 - napięcia O1...O12",
        "#33 - Uz",
        "#34 - Vcc",
        "#35 - LOG_FLASH [%]",
        "#36 - LOG_OKRES [s]",
        "#37 - stan wyjść (bitowo)",
        "#38 - PWM1",
        "#39 - PWM2",
    };
    QStringList lines;
    for (const char* line : Lines) lines << QString::fromUtf8(line);
    auto* text = new QPlainTextEdit(lines.join("\r\n"));
    text->setObjectName("codesText");
    text->setReadOnly(true);
    const QFontMetrics metrics(text->font());
    text->setMinimumSize(metrics.horizontalAdvance(lines[8]) + 40, metrics.lineSpacing() * 31);
    auto* close = new QPushButton("Zamknij");
    close->setObjectName("closeButton");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(close, 0, Qt::AlignRight);
}

// --- general settings -----------------------------------------------------------

GeneralDialog::GeneralDialog(ConfigImage& image, QWidget* parent)
    : ImageDialog(image, "Ustawienia ogólne", parent) {
    struct Switch {
        ModeBit bit;
        const char* text;
        const char* box;
    };
    static const Switch Switches[] = {
        // in screen order
        {ModeBit::Calibration, "Wprowadzanie poprawek kalibracyjnych", "włączone"},
        {ModeBit::AutonomousLcd, "Autonomiczne wyświetlanie LCD", "włączone"},
        {ModeBit::SterOn, "Autonomiczne sterowanie liniami wyjściowymi", "włączone"},
        {ModeBit::Pwm, "Generowanie PWM", "włączone"},
        {ModeBit::DigitalSensors, "Czujniki cyfrowe", "włączone"},
        {ModeBit::EightPlusEight, "8 czujn. cyfrowych + 8 analogowych", "włączone"},
        {ModeBit::LoggingBlockedByC1, "Blokowanie logowania wejściem C1", "włączone"},
        {ModeBit::Hv2cSensor, "Obsługa czujnika HV-2C na liniach C3,C4", "włączona"},
    };
    auto* content = new QVBoxLayout;
    auto* grid = new QGridLayout;
    int row = 0;
    for (const Switch& s : Switches) {
        const int bit = static_cast<int>(s.bit);
        modes_[static_cast<std::size_t>(bit)] =
            switchRow(grid, row++, s.text, QString("modeBox%1").arg(bit), s.box);
    }
    grid->setColumnStretch(2, 1);
    content->addLayout(grid);
    content->addWidget(separator());
    content->addLayout(buildCounters());
    content->addWidget(separator());

    auto* textHeader = new QHBoxLayout;
    textHeader->addWidget(label("Tekst na LCD:"));
    textHeader->addStretch();
    auto* codes = new QPushButton("Kody ...");
    codes->setObjectName("codesButton");
    connect(codes, &QPushButton::clicked, &codes_, [this] { codes_.exec(); });
    textHeader->addWidget(codes);
    content->addLayout(textHeader);
    lcdText_ = new QPlainTextEdit;
    lcdText_->setObjectName("lcdText");
    lcdText_->setFixedHeight(QFontMetrics(lcdText_->font()).lineSpacing() * 5);
    content->addWidget(lcdText_);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(label("Numer seryjny"));
    bottom->addWidget(serialNumber_ = numberEdit("serialNumber", 13));
    serialNumber_->setReadOnly(true);
    auto* pttLabel = label("PTT_DELAY:");
    auto* pttUnit = label("ms");
    pttDelay_ = numberEdit("pttDelay", 3);
    for (QWidget* hidden : std::initializer_list<QWidget*>{pttLabel, pttDelay_, pttUnit}) {
        hidden->setEnabled(false);
        hidden->hide();
        bottom->addWidget(hidden);
    }
    bottom->addStretch();
    content->addLayout(bottom);
    finishLayout(content);
}

QLayout* GeneralDialog::buildCounters() {
    auto* grid = new QGridLayout;
    for (int n = 0; n < 4; ++n) {
        const auto index = static_cast<std::size_t>(n);
        grid->addWidget(label(QString("Licznik C%1").arg(n + 1)), n, 0);
        auto* radios = new QHBoxLayout;
        counterModes_[index] = radioRow(this, radios, {"Częstotliwość", "Zliczanie imp."},
                                        QString("counterMode%1_").arg(n + 1));
        grid->addLayout(radios, n, 1);
        QCheckBox* box = namedBox("nasycanie max.", QString("saturation%1").arg(n + 1));
        saturation_[index] = box;
        grid->addWidget(box, n, 2);
        if (n == 1) {  // C2 offers no saturation
            box->setEnabled(false);
            box->setVisible(false);
            QSizePolicy keep = box->sizePolicy();
            keep.setRetainSizeWhenHidden(true);
            box->setSizePolicy(keep);
        }
    }
    grid->setColumnStretch(3, 1);
    return grid;
}

void GeneralDialog::load() {
    serialNumber_->setText(QString::fromStdString(serialNumberText(image_)));
    lcdText_->setPlainText(QString::fromStdString(lcdTextForEditing(image_)));
    showNumber(pttDelay_, pttDelay(image_));
    const auto flags = modeFlags(image_);
    for (std::size_t n = 0; n < flags.size(); ++n) modes_[n]->setChecked(flags[n]);
    const CounterFlags counters = counterFlags(image_);
    for (std::size_t n = 0; n < 4; ++n) {
        selectRadio(counterModes_[n], counters.pulseCounting[n] ? 1 : 0);
        if (n != 1) saturation_[n]->setChecked(counters.saturates[n]);
    }
}

bool GeneralDialog::store() {
    FieldTaker taker(prompter_);
    int ptt = 0;
    taker.integer(pttDelay_, ptt, 0, 255);
    if (!taker.finish()) return false;
    QString text = lcdText_->toPlainText();
    if (text.size() > static_cast<qsizetype>(MaxLcdTextChars)) {
        prompter_.message(
            "Please enter no more than " + std::to_string(MaxLcdTextChars) + " characters.",
            MessageIcon::Exclamation);
        lcdText_->setFocus();
        return false;
    }
    text.replace("\n", "\r\n");  // a line break of the multi-line edit
    storeLcdTextFromEditing(text.toStdString(), image_);
    image_[cfg::PttDelayRegister] = ptt;
    std::array<bool, ModeBitCount> flags{};
    for (std::size_t n = 0; n < flags.size(); ++n) flags[n] = modes_[n]->isChecked();
    storeModeFlags(image_, flags);
    CounterFlags counters;
    for (std::size_t n = 0; n < 4; ++n) {
        counters.pulseCounting[n] = counterModes_[n]->checkedId() == 1;
        counters.saturates[n] = n != 1 && saturation_[n]->isChecked();
    }
    storeCounterFlags(image_, counters);
    tellReplacedCharacters(prompter_, text.toStdString());
    return true;
}

}  // namespace dkq
