#include "data/settingsfile.h"

#include "data/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace eschf {

namespace {

// One line as bytes, without its LF and a CR before it.
QByteArray readLineBytes(QFile& file)
{
    QByteArray line = file.readLine();
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    Q_UNUSED(text);
    return !decoder.hasError();
}

// An old settings file was written in the ANSI code page of Windows; Cyrillic folder names must
// come out right on any system.
QStringDecoder ansiDecoder()
{
#ifdef Q_OS_WIN
    return QStringDecoder(QStringDecoder::System);
#else
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid())
        throw Error(
            QStringLiteral("Файл настроек не в UTF-8, а кодировка windows-1251 в этой сборке Qt недоступна. "
                           "Сохраните файл в UTF-8."));
    return decoder;
#endif
}

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool endsWithSeparator(const QString& text)
{
#ifdef Q_OS_WIN
    return text.endsWith(u'\\') || text.endsWith(u'/');
#else
    return text.endsWith(u'/');
#endif
}

} // namespace

SettingsFile readSettingsFile(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Не удалось открыть файл настроек %1: %2")
                        .arg(nativePath(filePath), file.errorString()));
    QByteArray first = readLineBytes(file);
    const QByteArray second = readLineBytes(file);
    if (file.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("Не удалось прочитать файл настроек %1: %2")
                        .arg(nativePath(filePath), file.errorString()));

    const bool bom = first.startsWith("\xEF\xBB\xBF");
    if (bom)
        first.remove(0, 3);
    SettingsFile settings;
    if (bom || (isValidUtf8(first) && isValidUtf8(second))) {
        settings.connectionString = QString::fromUtf8(first);
        settings.invoiceFolder = QString::fromUtf8(second);
    } else {
        QStringDecoder decoder = ansiDecoder();
        settings.connectionString = decoder.decode(first);
        settings.invoiceFolder = decoder.decode(second);
    }
    settings.directory = QFileInfo(filePath).absolutePath();
    return settings;
}

QString invoiceFolderPrefix(const QString& invoiceFolder)
{
    // A folder named without its trailing separator would make the import look beside it, for files
    // whose names start with the folder's name.
    if (invoiceFolder.isEmpty() || endsWithSeparator(invoiceFolder) || !QFileInfo(invoiceFolder).isDir())
        return invoiceFolder;
    return invoiceFolder + QDir::separator();
}

QString defaultSettingsPath()
{
#ifdef ESCHF_SETTINGS_DIR
    // A system package puts the programs where no one writes settings.
    return QDir(QStringLiteral(ESCHF_SETTINGS_DIR)).filePath(QStringLiteral("MdbConnect.ini"));
#else
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("MdbConnect.ini"));
#endif
}

} // namespace eschf
