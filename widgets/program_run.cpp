#include "widgets/program_run.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include "common/plain_file.h"
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

bool writePicture(QWidget& widget, const std::string& path) {
    QByteArray png;
    QBuffer buffer(&png);
    return buffer.open(QIODevice::WriteOnly) && widget.grab().save(&buffer, "PNG") &&
           writeWholeFile(path,
                          std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
}

void takePictureWhenAsked(QWidget& window, const char* variable) {
    const QString path = qEnvironmentVariable(variable);
    if (path.isEmpty()) return;
    QTimer::singleShot(PictureDelayMs, &window, [&window, path] {
        if (!writePicture(window, path.toStdString()))
            qWarning("cannot write %s", qPrintable(path));
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
