#include "widgets/trend_window.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "common/text.h"
#include "common/text_file.h"
#include "widgets/form_fields.h"
#include "widgets/program_run.h"
#include "widgets/trend_chart.h"

namespace dkq {
namespace {

struct Span {
    const char* text;
    std::int64_t seconds;  // 0: everything since START
};
constexpr std::array<Span, 5> Spans = {
    {{"1 min", 60}, {"10 min", 600}, {"1 h", 3600}, {"8 h", 28800}, {"od START", 0}}};
constexpr int DefaultSpan = 1;
constexpr const char* WriteFailedText = "Błąd otwarcia pliku do zapisu!";

// Saves the chart's picture and data just before the main window closes.
class ChartSaverAtClose : public QObject {
  public:
    ChartSaverAtClose(QWidget& mainWindow, TrendWindow* chart, QString picture, QString data)
        : QObject(&mainWindow),
          chart_(chart),
          picture_(std::move(picture)),
          data_(std::move(data)) {
        mainWindow.installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Close || chart_ == nullptr) return false;
        if (!picture_.isEmpty() && !chart_->savePicture(picture_.toStdString()))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(picture_));
        if (!data_.isEmpty() && !chart_->saveData(data_.toStdString()))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(data_));
        chart_ = nullptr;  // once
        return false;
    }

  private:
    QPointer<TrendWindow> chart_;
    QString picture_;
    QString data_;
};

}  // namespace

TrendWindow::TrendWindow(const QString& moduleName, const TrendBuffer& trend,
                         const std::array<ChannelConfig, EntryCount>& channels, QWidget* parent)
    : QWidget(parent, Qt::Window), trend_(trend), channels_(channels) {
    setObjectName("trendWindow");
    chart_ = new TrendChart(trend_, channels_, moduleName);
    chart_->setObjectName("trendChart");
    showModuleName(moduleName);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildControls());
    layout->addWidget(chart_, 1);
    connect(chart_, &TrendChart::pausedChanged, this, [this](bool paused) {
        pause_->setChecked(paused);
        pause_->setText(paused ? "Wznów" : "Pauza");
    });
    chart_->setSpan(Spans[DefaultSpan].seconds);
    resize(1100, 680);
}

void TrendWindow::showModuleName(const QString& moduleName) {
    setWindowTitle("Wykres – " + moduleName);
    chart_->setModuleName(moduleName);
}

QWidget* TrendWindow::buildControls() {
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    span_ = new QComboBox;
    span_->setObjectName("spanBox");
    for (const Span& span : Spans) span_->addItem(span.text);
    span_->setCurrentIndex(DefaultSpan);
    connect(span_, &QComboBox::currentIndexChanged, this,
            [this](int index) { chart_->setSpan(Spans[static_cast<std::size_t>(index)].seconds); });
    pause_ = plainButton("Pauza", "pauseButton");
    pause_->setCheckable(true);
    connect(pause_, &QPushButton::clicked, chart_, &TrendChart::setPaused);
    auto* reset = plainButton("Resetuj powiększenie", "resetZoomButton");
    reset->setToolTip(TrendChart::ZoomHelp);
    connect(reset, &QPushButton::clicked, chart_, &TrendChart::resetZoom);
    auto* picture = plainButton("Zapisz obraz", "savePictureButton");
    connect(picture, &QPushButton::clicked, this, &TrendWindow::choosePictureFile);
    auto* data = plainButton("Zapisz dane", "saveDataButton");
    connect(data, &QPushButton::clicked, this, &TrendWindow::chooseDataFile);
    row->addWidget(new QLabel("Zakres:"));
    row->addWidget(span_);
    row->addWidget(pause_);
    row->addWidget(reset);
    row->addStretch();
    row->addWidget(picture);
    row->addWidget(data);
    return panel;
}

void TrendWindow::showReadings() {
    chart_->follow();
}

bool TrendWindow::savePicture(const std::string& path) {
    return writePicture(*chart_, path);
}

bool TrendWindow::saveData(const std::string& path) {
    return writeWholeFile(path, encodeTextFile(trendCsv(trend_, channels_, chart_->shownFrom(),
                                                        chart_->shownTo(), chart_->seriesShown())));
}

void TrendWindow::choosePictureFile() {
    const auto path = prompter_.chooseSaveFile("Obrazy PNG (*.PNG)|*.png||", "png", "wykres.png");
    if (path && !savePicture(*path)) prompter_.message(WriteFailedText, MessageIcon::Error);
}

void TrendWindow::chooseDataFile() {
    const auto path = prompter_.chooseSaveFile("Arkusze CSV (*.CSV)|*.csv||", "csv", "wykres.csv");
    if (path && !saveData(*path)) prompter_.message(WriteFailedText, MessageIcon::Error);
}

void saveChartAtCloseWhenAsked(QWidget& mainWindow, const std::function<TrendWindow*()>& openChart,
                               const char* pictureVariable, const char* dataVariable) {
    const QString picture = qEnvironmentVariable(pictureVariable);
    const QString data = qEnvironmentVariable(dataVariable);
    if (picture.isEmpty() && data.isEmpty()) return;
    new ChartSaverAtClose(mainWindow, openChart(), picture, data);
}

}  // namespace dkq
