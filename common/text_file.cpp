#include "common/text_file.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include "common/text.h"

namespace dkq {
namespace {

QString toQString(const std::string& path) {
    return QString::fromStdString(path);
}

qint64 size(std::string_view bytes) {
    return static_cast<qint64>(bytes.size());
}

std::size_t fileNameStart(const std::string& path) {
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/:");
#else
    const std::size_t separator = path.find_last_of('/');
#endif
    return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& bytes) {
    QFile file(toQString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) return false;
    bytes.assign(content.constData(), static_cast<std::size_t>(content.size()));
    return true;
}

bool writeWholeFile(const std::string& path, std::string_view bytes) {
    QSaveFile file(toQString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes.data(), size(bytes)) != size(bytes)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::string withUpperCaseFileName(const std::string& path) {
    const std::size_t start = fileNameStart(path);
    return path.substr(0, start) + toUpperText(path.substr(start));
}

std::string fileNameOf(const std::string& path) {
    return path.substr(fileNameStart(path));
}

}  // namespace dkq
