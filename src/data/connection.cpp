#include "data/connection.h"

#include "data/error.h"

#include <QDir>
#include <QHash>
#include <QList>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

#ifdef ESCHF_HAVE_ODBC
#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#endif

namespace eschf {

namespace {

// ---------------------------------------------------------------------------------------------
// The OLE DB connection string

struct Keyword
{
    QString key;   // as written, blanks around it dropped
    QString value; // quotes removed
};

// The keywords this program understands, under one name each. Everything else is a client-side
// setting of the old provider and is ignored.
enum class Known
{
    None,
    Provider,
    DataSource,
    Catalog,
    User,
    Password,
    Integrated,
    Timeout,
    Encrypt,
    TrustCertificate,
};

Known knownKeyword(const QString& key)
{
    static const QHash<QString, Known> names{
        {QStringLiteral("provider"), Known::Provider},
        {QStringLiteral("data source"), Known::DataSource},
        {QStringLiteral("server"), Known::DataSource},
        {QStringLiteral("address"), Known::DataSource},
        {QStringLiteral("addr"), Known::DataSource},
        {QStringLiteral("network address"), Known::DataSource},
        {QStringLiteral("initial catalog"), Known::Catalog},
        {QStringLiteral("database"), Known::Catalog},
        {QStringLiteral("user id"), Known::User},
        {QStringLiteral("uid"), Known::User},
        {QStringLiteral("user"), Known::User},
        {QStringLiteral("password"), Known::Password},
        {QStringLiteral("pwd"), Known::Password},
        {QStringLiteral("integrated security"), Known::Integrated},
        {QStringLiteral("trusted_connection"), Known::Integrated},
        {QStringLiteral("connect timeout"), Known::Timeout},
        {QStringLiteral("connection timeout"), Known::Timeout},
        {QStringLiteral("use encryption for data"), Known::Encrypt},
        {QStringLiteral("encrypt"), Known::Encrypt},
        {QStringLiteral("trust server certificate"), Known::TrustCertificate},
        {QStringLiteral("trustservercertificate"), Known::TrustCertificate},
    };
    return names.value(key.simplified().toLower(), Known::None);
}

// How a parse error names the place. An unknown "key" may be a piece of a password that held an
// unquoted ';', so only keywords we know are named.
QString placeOf(const QString& key)
{
    if (knownKeyword(key) == Known::None)
        return QStringLiteral("в одном из параметров");
    return QStringLiteral("в параметре «%1»").arg(key.simplified());
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// OLE DB syntax: key=value pairs split by ';'; a value may be put in '...' or "..." (its own quote
// doubled inside), which is how a ';' gets into a password. Keys match without regard to case.
QList<Keyword> parseOleDb(const QString& text)
{
    QList<Keyword> keywords;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (true) {
        while (i < n && (isBlank(text[i]) || text[i] == u';'))
            ++i;
        if (i >= n)
            break;
        const qsizetype keyStart = i;
        while (i < n && text[i] != u'=' && text[i] != u';')
            ++i;
        const QString key = text.mid(keyStart, i - keyStart).trimmed();
        if (i >= n || text[i] != u'=') {
            const QString after = keywords.isEmpty() ? QString() : keywords.last().key;
            throw Error(QStringLiteral("Строка подключения не разобрана: часть без знака «=»%1.")
                            .arg(knownKeyword(after) == Known::None
                                     ? QString()
                                     : QStringLiteral(" после параметра «%1»").arg(after.simplified())));
        }
        if (key.isEmpty())
            throw Error(
                QStringLiteral("Строка подключения не разобрана: перед знаком «=» нет имени параметра."));
        ++i;
        while (i < n && isBlank(text[i]))
            ++i;
        QString value;
        if (i < n && (text[i] == u'\'' || text[i] == u'"')) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed)
                throw Error(QStringLiteral("Строка подключения не разобрана: не закрыта кавычка %1.")
                                .arg(placeOf(key)));
            while (i < n && isBlank(text[i]))
                ++i;
            if (i < n && text[i] != u';')
                throw Error(QStringLiteral("Строка подключения не разобрана: после закрывающей кавычки %1 "
                                           "стоит текст.")
                                .arg(placeOf(key)));
        } else {
            const qsizetype valueStart = i;
            while (i < n && text[i] != u';')
                ++i;
            value = text.mid(valueStart, i - valueStart).trimmed();
        }
        keywords.append({key, value});
    }
    return keywords;
}

// The last value of each keyword we know (a later one overrides an earlier one, as in ADO).
struct OleDbSettings
{
    std::optional<QString> provider;
    QString dataSource;
    QString catalog;
    QString user;
    QString password;
    QString integrated;
    QString timeout;
    QString encrypt;
    QString trustCertificate;
    QString integratedKey, timeoutKey, encryptKey, trustKey; // as written, for messages
};

OleDbSettings collect(const QList<Keyword>& keywords)
{
    OleDbSettings s;
    for (const Keyword& k : keywords) {
        switch (knownKeyword(k.key)) {
        case Known::Provider:
            s.provider = k.value;
            break;
        case Known::DataSource:
            s.dataSource = k.value;
            break;
        case Known::Catalog:
            s.catalog = k.value;
            break;
        case Known::User:
            s.user = k.value;
            break;
        case Known::Password:
            s.password = k.value;
            break;
        case Known::Integrated:
            s.integrated = k.value;
            s.integratedKey = k.key.simplified();
            break;
        case Known::Timeout:
            s.timeout = k.value;
            s.timeoutKey = k.key.simplified();
            break;
        case Known::Encrypt:
            s.encrypt = k.value;
            s.encryptKey = k.key.simplified();
            break;
        case Known::TrustCertificate:
            s.trustCertificate = k.value;
            s.trustKey = k.key.simplified();
            break;
        case Known::None:
            break;
        }
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// The SQL Server ODBC driver

enum class DriverKind
{
    MsOdbc,       // "ODBC Driver NN for SQL Server"
    NativeClient, // "SQL Server Native Client NN.N"
    Legacy,       // "SQL Server", part of Windows
    FreeTds,
};

struct Driver
{
    QString name;
    DriverKind kind = DriverKind::Legacy;
    int version = 0; // major version (native client: major * 100 + minor)
};

std::optional<Driver> newestMatching(const QStringList& drivers, const QRegularExpression& pattern,
                                     DriverKind kind, bool withMinor)
{
    std::optional<Driver> best;
    for (const QString& name : drivers) {
        const QRegularExpressionMatch m = pattern.match(name.trimmed());
        if (!m.hasMatch())
            continue;
        const int version =
            m.captured(1).toInt() * (withMinor ? 100 : 1) + (withMinor ? m.captured(2).toInt() : 0);
        if (!best || version > best->version)
            best = Driver{name.trimmed(), kind, version};
    }
    return best;
}

Driver chooseDriver(const QStringList& drivers, DriverPlatform platform)
{
    static const QRegularExpression msOdbc(QStringLiteral("^ODBC Driver (\\d+) for SQL Server$"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression nativeClient(QStringLiteral("^SQL Server Native Client (\\d+)\\.(\\d+)$"),
                                                 QRegularExpression::CaseInsensitiveOption);
    if (auto d = newestMatching(drivers, msOdbc, DriverKind::MsOdbc, false))
        return *d;
    if (platform == DriverPlatform::Windows) {
        if (auto d = newestMatching(drivers, nativeClient, DriverKind::NativeClient, true))
            return *d;
        return Driver{QStringLiteral("SQL Server"), DriverKind::Legacy, 0};
    }
    for (const QString& name : drivers) {
        if (name.contains(QStringLiteral("freetds"), Qt::CaseInsensitive))
            return Driver{name.trimmed(), DriverKind::FreeTds, 0};
    }
    throw Error(
        QStringLiteral("Не найден драйвер ODBC для SQL Server. Установите ODBC Driver 18 for SQL Server "
                       "или FreeTDS (пакет tdsodbc)."));
}

// ---------------------------------------------------------------------------------------------
// Writing the ODBC string

// A value in braces, so that ';' and '=' in it are safe. The Microsoft drivers read "}}" as "}";
// FreeTDS ends a braced value at the first "};" and takes everything before it as written.
QString braced(const QString& value, const Driver& driver, const QString& keyword)
{
    if (driver.kind != DriverKind::FreeTds)
        return u'{' + QString(value).replace(u'}', QStringLiteral("}}")) + u'}';
    if (value.contains(QStringLiteral("};")))
        throw Error(
            QStringLiteral("Значение параметра «%1» содержит «};»: драйвер FreeTDS не может его принять.")
                .arg(keyword));
    return u'{' + value + u'}';
}

std::optional<bool> parseBool(const QString& value)
{
    const QString v = value.trimmed().toLower();
    if (v == u"true" || v == u"yes" || v == u"1")
        return true;
    if (v == u"false" || v == u"no" || v == u"0")
        return false;
    return std::nullopt;
}

bool integratedSecurity(const OleDbSettings& s)
{
    if (s.integrated.isEmpty())
        return false;
    if (s.integrated.trimmed().compare(u"sspi", Qt::CaseInsensitive) == 0)
        return true;
    if (const auto b = parseBool(s.integrated))
        return *b;
    throw Error(QStringLiteral("Параметр «%1»: значение «%2» не понято (ожидается SSPI, True или False).")
                    .arg(s.integratedKey, s.integrated));
}

enum class Encryption
{
    Off,
    On,
    Strict,
};

Encryption encryption(const OleDbSettings& s)
{
    if (s.encrypt.isEmpty())
        return Encryption::Off;
    const QString v = s.encrypt.trimmed().toLower();
    if (v == u"strict")
        return Encryption::Strict;
    if (v == u"mandatory")
        return Encryption::On;
    if (v == u"optional")
        return Encryption::Off;
    if (const auto b = parseBool(v))
        return *b ? Encryption::On : Encryption::Off;
    throw Error(QStringLiteral("Параметр «%1»: значение «%2» не понято (ожидается True или False).")
                    .arg(s.encryptKey, s.encrypt));
}

// The old providers never encrypted unless told to, and ODBC Driver 18 encrypts and checks the
// certificate by default: say what was meant explicitly, or a connection that worked stops working.
QString encryptionKeywords(const OleDbSettings& s, const Driver& driver)
{
    const Encryption e = encryption(s);
    if (driver.kind == DriverKind::FreeTds)
        return e == Encryption::Off ? QString() : QStringLiteral("Encryption=require;");
    if (driver.kind == DriverKind::Legacy)
        return e == Encryption::Off ? QString() : QStringLiteral("Encrypt=yes;");
    if (e == Encryption::Off)
        return QStringLiteral("Encrypt=no;");
    QString text = e == Encryption::Strict && driver.kind == DriverKind::MsOdbc && driver.version >= 18
                       ? QStringLiteral("Encrypt=strict;")
                       : QStringLiteral("Encrypt=yes;");
    bool trust = true;
    if (!s.trustCertificate.isEmpty()) {
        const auto b = parseBool(s.trustCertificate);
        if (!b)
            throw Error(QStringLiteral("Параметр «%1»: значение «%2» не понято (ожидается True или False).")
                            .arg(s.trustKey, s.trustCertificate));
        trust = *b;
    }
    if (trust && e != Encryption::Strict)
        text += QStringLiteral("TrustServerCertificate=yes;");
    return text;
}

bool isLocalHost(const QString& host)
{
    const QString h = host.trimmed().toLower();
    return h.isEmpty() || h == u"." || h == u"(local)" || h == u"localhost";
}

// FreeTDS reads "host\instance,port" as an instance named "instance,port" and knows neither "."
// nor "(local)"; a port, where given, is what the old provider connected to.
QString freeTdsServer(const QString& dataSource, const Driver& driver)
{
    QString source = dataSource.trimmed();
    if (source.startsWith(QStringLiteral("tcp:"), Qt::CaseInsensitive))
        source = source.mid(4).trimmed();
    QString port;
    const qsizetype comma = source.lastIndexOf(u',');
    if (comma >= 0) {
        port = source.mid(comma + 1).trimmed();
        source = source.left(comma).trimmed();
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number < 1 || number > 65535)
            throw Error(
                QStringLiteral("Параметр «Data Source»: порт «%1» не число от 1 до 65535.").arg(port));
        port = QString::number(number);
    }
    QString host = source;
    QString instance;
    const qsizetype backslash = source.indexOf(u'\\');
    if (backslash >= 0) {
        host = source.left(backslash).trimmed();
        instance = source.mid(backslash + 1).trimmed();
    }
    if (isLocalHost(host))
        host = QStringLiteral("localhost");
    if (!port.isEmpty())
        return QStringLiteral("Server=%1;Port=%2;")
            .arg(braced(host, driver, QStringLiteral("Data Source")), port);
    if (!instance.isEmpty())
        host += u'\\' + instance;
    return QStringLiteral("Server=%1;").arg(braced(host, driver, QStringLiteral("Data Source")));
}

QString loginTimeoutOption(const OleDbSettings& s)
{
    // The old provider waited 15 seconds unless told otherwise; some drivers wait for ever.
    if (s.timeout.isEmpty())
        return QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15");
    bool ok = false;
    const int seconds = s.timeout.trimmed().toInt(&ok);
    if (!ok || seconds < 0)
        throw Error(QStringLiteral("Параметр «%1»: значение «%2» не целое число секунд.")
                        .arg(s.timeoutKey, s.timeout));
    return QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(seconds);
}

// QODBC takes a text containing ".dsn" for the name of a file DSN, whatever else it holds.
void refuseFileDsnLookalike(const QString& odbcText)
{
    if (odbcText.contains(QStringLiteral(".dsn"), Qt::CaseInsensitive))
        throw Error(
            QStringLiteral("Строка подключения содержит «.dsn»: драйвер ODBC библиотеки Qt примет её за "
                           "имя файла DSN. Уберите «.dsn» из строки (из имени сервера, базы или пароля)."));
}

ConnectionParams sqlServerConnection(const OleDbSettings& s, const QStringList& drivers,
                                     DriverPlatform platform)
{
    const Driver driver = chooseDriver(drivers, platform);
    ConnectionParams connection;
    connection.driver = QStringLiteral("QODBC");
    if (!s.password.isEmpty())
        connection.secrets.append(s.password);

    QString odbc = QStringLiteral("Driver=%1;").arg(braced(driver.name, driver, QStringLiteral("Driver")));
    if (driver.kind == DriverKind::FreeTds) {
        odbc += freeTdsServer(s.dataSource, driver);
    } else {
        const QString server =
            s.dataSource.trimmed().isEmpty() ? QStringLiteral("(local)") : s.dataSource.trimmed();
        odbc += QStringLiteral("Server=%1;").arg(braced(server, driver, QStringLiteral("Data Source")));
    }
    if (!s.catalog.isEmpty())
        odbc +=
            QStringLiteral("Database=%1;").arg(braced(s.catalog, driver, QStringLiteral("Initial Catalog")));
    if (integratedSecurity(s)) {
        odbc += QStringLiteral("Trusted_Connection=yes;");
    } else {
        if (!s.user.isEmpty())
            odbc += QStringLiteral("UID=%1;").arg(braced(s.user, driver, QStringLiteral("User ID")));
        if (!s.password.isEmpty())
            odbc += QStringLiteral("PWD=%1;").arg(braced(s.password, driver, QStringLiteral("Password")));
    }
    odbc += encryptionKeywords(s, driver);
    if (driver.kind == DriverKind::FreeTds) {
        // auto: the old provider talked to whichever SQL Server version the customer runs.
        odbc += QStringLiteral("TDS_Version=auto;ClientCharset=UTF-8;");
    }
    refuseFileDsnLookalike(odbc);
    connection.databaseName = odbc;
    connection.connectOptions = loginTimeoutOption(s);
    return connection;
}

ConnectionParams sqliteConnection(const OleDbSettings& s, const QString& baseDir)
{
    if (s.dataSource.trimmed().isEmpty())
        throw Error(QStringLiteral("В строке подключения SQLite не указан файл базы (Data Source)."));
    ConnectionParams connection;
    connection.driver = QStringLiteral("QSQLITE");
    if (!s.password.isEmpty())
        connection.secrets.append(s.password);
    connection.databaseName = QDir::cleanPath(QDir(baseDir).absoluteFilePath(s.dataSource.trimmed()));
    return connection;
}

// ---------------------------------------------------------------------------------------------
// ODBC strings as the user wrote them

// The PWD values of an ODBC string: key=value pairs split by ';', a value in braces with "}}"
// for "}".
QStringList odbcPasswords(const QString& text)
{
    QStringList passwords;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype eq = text.indexOf(u'=', i);
        if (eq < 0)
            break;
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        QString value;
        if (i < n && text[i] == u'{') {
            ++i;
            while (i < n) {
                if (text[i] == u'}') {
                    if (i + 1 < n && text[i + 1] == u'}') {
                        value += u'}';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            const qsizetype semicolon = text.indexOf(u';', i);
            i = semicolon < 0 ? n : semicolon + 1;
        } else {
            const qsizetype semicolon = text.indexOf(u';', i);
            value = text.mid(i, (semicolon < 0 ? n : semicolon) - i);
            i = semicolon < 0 ? n : semicolon + 1;
        }
        const QString k = key.toLower();
        if ((k == u"pwd" || k == u"password") && !value.isEmpty())
            passwords.append(value);
    }
    return passwords;
}

// Qt's ODBC driver hands the driver manager the string's length counting the NUL it ends with, so
// the last value reaches the driver with a NUL in it (a password or database that never matches)
// unless a ";" closes it.
QString closedWithSemicolon(const QString& text)
{
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text.at(i) == u';')
            return text;
        if (!text.at(i).isSpace())
            break;
    }
    return text + u';';
}

ConnectionParams odbcConnection(const QString& text)
{
    ConnectionParams connection;
    connection.driver = QStringLiteral("QODBC");
    connection.secrets = odbcPasswords(text);
    refuseFileDsnLookalike(text);
    // QODBC puts "DSN=" before any text that names neither DRIVER= nor SERVER=; hand it the rest.
    const bool passedWhole = text.contains(QStringLiteral("DRIVER="), Qt::CaseInsensitive) ||
                             text.contains(QStringLiteral("SERVER="), Qt::CaseInsensitive);
    connection.databaseName = closedWithSemicolon(passedWhole ? text : text.mid(text.indexOf(u'=') + 1));
    return connection;
}

bool isOdbcString(const QString& text)
{
    static const QRegularExpression start(QStringLiteral("^\\s*(driver|dsn)\\s*="),
                                          QRegularExpression::CaseInsensitiveOption);
    return start.match(text).hasMatch();
}

enum class ProviderKind
{
    SqlServer,
    Sqlite,
    Unknown,
};

ProviderKind providerKind(const std::optional<QString>& provider)
{
    if (!provider)
        return ProviderKind::SqlServer;
    const QString p = provider->trimmed().toLower();
    if (p.isEmpty() || p == u"sqloledb" || p.startsWith(u"sqloledb.") || p.startsWith(u"sqlncli") ||
        p.startsWith(u"msoledbsql"))
        return ProviderKind::SqlServer;
    if (p == u"sqlite")
        return ProviderKind::Sqlite;
    return ProviderKind::Unknown;
}

} // namespace

ConnectionParams translateConnectionString(const QString& connectionString, const QString& baseDir,
                                           const QStringList& odbcDrivers, DriverPlatform platform)
{
    if (connectionString.trimmed().isEmpty())
        throw Error(QStringLiteral("Строка подключения (первая строка файла настроек) пуста."));
    if (isOdbcString(connectionString))
        return odbcConnection(connectionString);

    const OleDbSettings settings = collect(parseOleDb(connectionString));
    switch (providerKind(settings.provider)) {
    case ProviderKind::SqlServer:
        return sqlServerConnection(settings, odbcDrivers, platform);
    case ProviderKind::Sqlite:
        return sqliteConnection(settings, baseDir);
    case ProviderKind::Unknown:
        break;
    }
    throw Error(
        QStringLiteral(
            "Поставщик «%1» в строке подключения не поддерживается. Поддерживаются SQLOLEDB, "
            "SQLNCLI, MSOLEDBSQL (SQL Server) и SQLite, а также строки ODBC (Driver=... или DSN=...).")
            .arg(settings.provider->trimmed()));
}

ConnectionParams translateConnectionString(const QString& connectionString, const QString& baseDir,
                                           const QStringList& odbcDrivers)
{
#ifdef Q_OS_WIN
    constexpr DriverPlatform platform = DriverPlatform::Windows;
#else
    constexpr DriverPlatform platform = DriverPlatform::Unix;
#endif
    return translateConnectionString(connectionString, baseDir, odbcDrivers, platform);
}

QStringList installedOdbcDrivers()
{
    QStringList names;
#ifdef ESCHF_HAVE_ODBC
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide characters are UTF-16");
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return names;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLWCHAR description[512];
    SQLWCHAR attributes[1024];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversW(env, direction, description, SQLSMALLINT(std::size(description)),
                                     &descriptionLength, attributes, SQLSMALLINT(std::size(attributes)),
                                     &attributesLength))) {
        names.append(QString::fromUtf16(reinterpret_cast<const char16_t*>(description)));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
#endif
    return names;
}

QString maskSecrets(QString text, const QStringList& secrets)
{
    QStringList ordered;
    for (const QString& s : secrets) {
        if (!s.isEmpty())
            ordered.append(s);
    }
    // The longer first, so that a secret inside another one leaves nothing of it behind.
    std::sort(ordered.begin(), ordered.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& s : std::as_const(ordered))
        text.replace(s, QStringLiteral("***"));

    static const QRegularExpression passwordValue(
        QStringLiteral("\\b(password|pwd)(\\s*=\\s*)(\\{(?:[^}]|\\}\\})*\\}?|'(?:[^']|'')*'?|\"(?:[^\"]|\"\")"
                       "*\"?|[^;\\r\\n]*)"),
        QRegularExpression::CaseInsensitiveOption);
    text.replace(passwordValue, QStringLiteral("\\1\\2***"));
    return text;
}

} // namespace eschf
