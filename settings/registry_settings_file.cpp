// QSettings backend: "Software\<Org>\<App>" is <config dir>/<Org>/<App>.conf.
// Each operation opens the file afresh, so values written by another program
// since the key was opened are seen, and each write reaches the disk at once.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "settings/registry_backend.h"

namespace dkq {

struct RegistryHandle {
    QString filePath;
};

void RegistryHandleDeleter::operator()(RegistryHandle* handle) const {
    delete handle;
}

namespace registry_backend {
namespace {

constexpr std::uint64_t MaxDword = 0xFFFFFFFFu;

bool isPlainName(const QString& part) {
    return !part.isEmpty() && part != "." && part != ".." && !part.contains('/');
}

// The settings file of a key path, or empty for a path of another form.
QString settingsFilePath(std::string_view path) {
    const QStringList parts =
        QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())).split('\\');
    if (parts.size() != 3 || parts[0].compare("Software", Qt::CaseInsensitive) != 0 ||
        !isPlainName(parts[1]) || !isPlainName(parts[2]))
        return {};
    const QString configDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return configDir + '/' + parts[1] + '/' + parts[2] + ".conf";
}

QString toQString(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// Only a plain decimal number that fits 32 bits counts as a DWORD.
bool parseDword(const QString& text, std::uint32_t& value) {
    if (text.isEmpty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (const QChar c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c.unicode() - '0');
    }
    if (number > MaxDword) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

long store(RegistryHandle& key, std::string_view name, const QVariant& value) {
    QSettings settings(key.filePath, QSettings::NativeFormat);
    settings.setValue(toQString(name), value);
    settings.sync();
    return settings.status() == QSettings::NoError ? registry_error::None
                                                   : registry_error::AccessDenied;
}

long fetch(RegistryHandle& key, std::string_view name, QString& text) {
    const QSettings settings(key.filePath, QSettings::NativeFormat);
    const QVariant value = settings.value(toQString(name));
    if (!value.isValid()) return registry_error::NotFound;
    if (value.typeId() != QMetaType::QString) return registry_error::InvalidData;
    text = value.toString();
    return registry_error::None;
}

}  // namespace

long open(std::string_view path, Handle& handle) {
    const QString filePath = settingsFilePath(path);
    if (filePath.isEmpty()) return registry_error::BadPath;
    if (!QFileInfo(filePath).isFile()) return registry_error::NotFound;
    handle.reset(new RegistryHandle{filePath});
    return registry_error::None;
}

long create(std::string_view path) {
    const QString filePath = settingsFilePath(path);
    if (filePath.isEmpty()) return registry_error::BadPath;
    if (QFileInfo(filePath).isFile()) return registry_error::None;
    if (!QDir().mkpath(QFileInfo(filePath).path())) return registry_error::AccessDenied;
    QFile file(filePath);
    return file.open(QIODevice::WriteOnly) ? registry_error::None : registry_error::AccessDenied;
}

long readDword(RegistryHandle& key, std::string_view name, std::uint32_t& value) {
    QString text;
    if (const long code = fetch(key, name, text); code != registry_error::None) return code;
    return parseDword(text, value) ? registry_error::None : registry_error::InvalidData;
}

long readString(RegistryHandle& key, std::string_view name, std::string& value, std::size_t size) {
    QString text;
    if (const long code = fetch(key, name, text); code != registry_error::None) return code;
    std::string utf8 = text.toStdString();
    if (utf8.size() + 1 > size) return registry_error::MoreData;
    value = std::move(utf8);
    return registry_error::None;
}

long writeDword(RegistryHandle& key, std::string_view name, std::uint32_t value) {
    return store(key, name, QString::number(value));
}

long writeString(RegistryHandle& key, std::string_view name, std::string_view text) {
    return store(key, name, toQString(text));
}

}  // namespace registry_backend
}  // namespace dkq
