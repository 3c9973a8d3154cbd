#include "widgets/program_run.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include "common/text.h"

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

void usePolishStandardDialogs() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Polish), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        qWarning("no Polish translation of Qt's standard dialogs (qtbase_pl.qm)");
}

}  // namespace dkq
