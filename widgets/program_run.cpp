#include "widgets/program_run.h"

#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "common/text.h"
#include "monitor/csv_recorder.h"
#include "widgets/close_on_signal.h"

namespace dkq {
namespace {

constexpr int PictureDelayMs = 10000;

}  // namespace

std::vector<std::string> commandWordsOf(const QStringList& arguments) {
    std::vector<std::string> words;
    for (qsizetype i = 1; i < arguments.size() && words.size() < MaxCommandWords; ++i)
        words.push_back(arguments[i].toStdString());
    return words;
}

void takePictureWhenAsked(QWidget& window, const char* variable) {
    const QString path = qEnvironmentVariable(variable);
    if (path.isEmpty()) return;
    QTimer::singleShot(PictureDelayMs, &window, [&window, path] {
        if (!window.grab().save(path)) qWarning("cannot write %s", qPrintable(path));
    });
}

void reportLostRecords(const QWidget& window, Prompter& prompter, std::size_t count,
                       const char* program) {
    const std::string text = lostRecordsText(count);
    if (!window.property(ClosedBySignalProperty).toBool())
        prompter.message(text, MessageIcon::Exclamation);
    else
        std::fprintf(stderr, "%s: %s\n", program, text.c_str());
}

}  // namespace dkq
