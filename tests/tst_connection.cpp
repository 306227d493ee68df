#include "data/connection.h"
#include "data/error.h"
#include "testsupport.h"

#include <QtTest>

using eschf::ConnectionParams;
using eschf::DriverPlatform;

namespace {

const QStringList debian{QStringLiteral("FreeTDS"), QStringLiteral("SQLite"), QStringLiteral("SQLite3")};
const QStringList msOnLinux{QStringLiteral("FreeTDS"), QStringLiteral("ODBC Driver 17 for SQL Server"),
                            QStringLiteral("ODBC Driver 18 for SQL Server")};
const QStringList odbc17{QStringLiteral("ODBC Driver 17 for SQL Server"), QStringLiteral("FreeTDS")};
const QStringList windowsAll{QStringLiteral("SQL Server"), QStringLiteral("SQL Server Native Client 11.0"),
                             QStringLiteral("ODBC Driver 13 for SQL Server"),
                             QStringLiteral("ODBC Driver 17 for SQL Server")};
const QStringList windowsSnac{QStringLiteral("SQL Server"), QStringLiteral("SQL Server Native Client 10.0"),
                              QStringLiteral("SQL Server Native Client 11.0"),
                              QStringLiteral("Microsoft Access Driver (*.mdb)")};
const QStringList windowsBare{QStringLiteral("SQL Server")};

const QString freeTdsTail = QStringLiteral("TDS_Version=auto;ClientCharset=UTF-8;");
const QString timeout15 = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15");

// A Unix-style absolute path made absolute on this system too (on Windows, on the system drive).
QString absolute(const char* path)
{
    return QDir::rootPath().chopped(1) + QString::fromUtf8(path);
}

} // namespace

Q_DECLARE_METATYPE(DriverPlatform)

class TestConnection : public QObject
{
    Q_OBJECT
private slots:
    void translatesSqlServer_data();
    void translatesSqlServer();
    void passesOdbcStringsOn_data();
    void passesOdbcStringsOn();
    void resolvesSqliteFile_data();
    void resolvesSqliteFile();
    void refuses_data();
    void refuses();
    void keepsPasswordsAsSecrets();
    void masksSecrets_data();
    void masksSecrets();
    void listsInstalledDrivers();
};

void TestConnection::translatesSqlServer_data()
{
    QTest::addColumn<QString>("oleDb");
    QTest::addColumn<DriverPlatform>("platform");
    QTest::addColumn<QStringList>("drivers");
    QTest::addColumn<QString>("odbc");
    QTest::addColumn<QString>("options");

    const auto onUnix = DriverPlatform::Unix;
    const auto onWindows = DriverPlatform::Windows;

    QTest::newRow("FreeTDS: the usual SQLOLEDB string")
        << "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=buh;Password=Secret1;Initial "
           "Catalog=Buh2022;"
           "Data Source=SRV01"
        << onUnix << debian
        << "Driver={FreeTDS};Server={SRV01};Database={Buh2022};UID={buh};PWD={Secret1};" + freeTdsTail
        << timeout15;
    QTest::newRow("FreeTDS: instance and port keep the port")
        << "Provider=SQLOLEDB;Data Source=SRV01\\SQLEXPRESS,1433;Initial Catalog=Buh;User ID=buh;Password=x"
        << onUnix << debian
        << "Driver={FreeTDS};Server={SRV01};Port=1433;Database={Buh};UID={buh};PWD={x};" + freeTdsTail
        << timeout15;
    QTest::newRow("FreeTDS: instance alone")
        << "Provider=SQLOLEDB;Data Source=srv\\SQLEXPRESS;User ID=u;Password=p" << onUnix << debian
        << "Driver={FreeTDS};Server={srv\\SQLEXPRESS};UID={u};PWD={p};" + freeTdsTail << timeout15;
    QTest::newRow("FreeTDS: tcp prefix and port")
        << "Provider=SQLOLEDB;Data Source=tcp:10.0.0.5, 49172;User ID=u;Password=p" << onUnix << debian
        << "Driver={FreeTDS};Server={10.0.0.5};Port=49172;UID={u};PWD={p};" + freeTdsTail << timeout15;
    QTest::newRow("FreeTDS: local server names")
        << "Provider=SQLOLEDB;Data Source=(local)\\SQLEXPRESS;User ID=u;Password=p" << onUnix << debian
        << "Driver={FreeTDS};Server={localhost\\SQLEXPRESS};UID={u};PWD={p};" + freeTdsTail << timeout15;
    QTest::newRow("FreeTDS: no Data Source is the local server")
        << "Provider=SQLOLEDB;Initial Catalog=Buh;User ID=u;Password=p" << onUnix << debian
        << "Driver={FreeTDS};Server={localhost};Database={Buh};UID={u};PWD={p};" + freeTdsTail << timeout15;
    QTest::newRow("FreeTDS: integrated security drops the login")
        << "Provider=SQLNCLI11;Data Source=srv;Integrated Security=SSPI;Initial Catalog=Buh;User "
           "ID=u;Password=p"
        << onUnix << debian
        << "Driver={FreeTDS};Server={srv};Database={Buh};Trusted_Connection=yes;" + freeTdsTail << timeout15;
    QTest::newRow("FreeTDS: encryption asked for")
        << "Provider=SQLNCLI11;Data Source=srv;User ID=u;Password=p;Use Encryption for Data=True" << onUnix
        << debian << "Driver={FreeTDS};Server={srv};UID={u};PWD={p};Encryption=require;" + freeTdsTail
        << timeout15;
    QTest::newRow("FreeTDS: password with ; quote and brace")
        << "Provider=SQLOLEDB;Data Source=srv;User ID=u;Password=\"pa;ss'wo\"\"r}d\"" << onUnix << debian
        << "Driver={FreeTDS};Server={srv};UID={u};PWD={pa;ss'wo\"r}d};" + freeTdsTail << timeout15;
    QTest::newRow("FreeTDS: connect timeout")
        << "Provider=SQLOLEDB;Data Source=srv;User ID=u;Password=p;Connect Timeout=45" << onUnix << debian
        << "Driver={FreeTDS};Server={srv};UID={u};PWD={p};" + freeTdsTail << "SQL_ATTR_LOGIN_TIMEOUT=45";

    QTest::newRow("Linux: ODBC Driver 18 first, encryption off as before")
        << "Provider=SQLOLEDB.1;Data Source=SRV01\\SQLEXPRESS,1433;Initial Catalog=Buh;User "
           "ID=buh;Password=pw"
        << onUnix << msOnLinux
        << "Driver={ODBC Driver 18 for SQL "
           "Server};Server={SRV01\\SQLEXPRESS,1433};Database={Buh};UID={buh};PWD={pw};"
           "Encrypt=no;"
        << timeout15;
    QTest::newRow("Linux: ODBC Driver 17, encryption on trusts the certificate")
        << "Provider=MSOLEDBSQL;Data Source=srv;User ID=u;Password=p;Use Encryption for Data=yes" << onUnix
        << odbc17
        << "Driver={ODBC Driver 17 for SQL "
           "Server};Server={srv};UID={u};PWD={p};Encrypt=yes;TrustServerCertificate=yes;"
        << timeout15;
    QTest::newRow("Linux: an explicit Trust Server Certificate=False holds")
        << "Provider=MSOLEDBSQL;Data Source=srv;User ID=u;Password=p;Use Encryption for Data=True;"
           "Trust Server Certificate=False"
        << onUnix << msOnLinux
        << "Driver={ODBC Driver 18 for SQL Server};Server={srv};UID={u};PWD={p};Encrypt=yes;" << timeout15;
    QTest::newRow("Linux: MSOLEDBSQL19 strict")
        << "Provider=MSOLEDBSQL19;Data Source=srv;Integrated Security=SSPI;Use Encryption for Data=Strict"
        << onUnix << msOnLinux
        << "Driver={ODBC Driver 18 for SQL Server};Server={srv};Trusted_Connection=yes;Encrypt=strict;"
        << timeout15;
    QTest::newRow("Linux: Microsoft driver doubles a closing brace")
        << "Provider=SQLOLEDB;Data Source=srv;User ID=u;Password='a}b;c'" << onUnix << msOnLinux
        << "Driver={ODBC Driver 18 for SQL Server};Server={srv};UID={u};PWD={a}}b;c};Encrypt=no;"
        << timeout15;
    QTest::newRow("no Provider means SQL Server; blanks and case do not matter")
        << "  data source = srv ;INITIAL CATALOG= Buh;  user id =u ; PASSWORD = p q ;;" << onUnix << msOnLinux
        << "Driver={ODBC Driver 18 for SQL Server};Server={srv};Database={Buh};UID={u};PWD={p q};Encrypt=no;"
        << timeout15;
    QTest::newRow("single quotes doubled inside")
        << "Provider=SQLOLEDB;Data Source=srv;User ID='o''brien';Password='it''s'" << onUnix << msOnLinux
        << "Driver={ODBC Driver 18 for SQL Server};Server={srv};UID={o'brien};PWD={it's};Encrypt=no;"
        << timeout15;
    QTest::newRow("Integrated Security=true")
        << "Provider=SQLNCLI10;Data Source=srv;Integrated Security=true" << onUnix << msOnLinux
        << "Driver={ODBC Driver 18 for SQL Server};Server={srv};Trusted_Connection=yes;Encrypt=no;"
        << timeout15;

    QTest::newRow("Windows: newest ODBC Driver NN")
        << "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=Buh;"
           "Data Source=SRV01\\SQLEXPRESS"
        << onWindows << windowsAll
        << "Driver={ODBC Driver 17 for SQL "
           "Server};Server={SRV01\\SQLEXPRESS};Database={Buh};Trusted_Connection=yes;"
           "Encrypt=no;"
        << timeout15;
    QTest::newRow("Windows: native client 11.0 before 10.0")
        << "Provider=SQLOLEDB;Data Source=srv;User ID=u;Password=p" << onWindows << windowsSnac
        << "Driver={SQL Server Native Client 11.0};Server={srv};UID={u};PWD={p};Encrypt=no;" << timeout15;
    QTest::newRow("Windows: the SQL Server driver")
        << "Provider=SQLOLEDB;Data Source=srv,1433;User ID=u;Password=p" << onWindows << windowsBare
        << "Driver={SQL Server};Server={srv,1433};UID={u};PWD={p};" << timeout15;
    QTest::newRow("Windows: no driver list still has the SQL Server driver")
        << "Provider=SQLOLEDB;Data Source=srv;User ID=u;Password=p;Use Encryption for Data=True" << onWindows
        << QStringList() << "Driver={SQL Server};Server={srv};UID={u};PWD={p};Encrypt=yes;" << timeout15;
    QTest::newRow("Windows: FreeTDS is not chosen")
        << "Provider=SQLOLEDB;Data Source=srv;User ID=u;Password=p" << onWindows << debian
        << "Driver={SQL Server};Server={srv};UID={u};PWD={p};" << timeout15;
}

void TestConnection::translatesSqlServer()
{
    QFETCH(QString, oleDb);
    QFETCH(DriverPlatform, platform);
    QFETCH(QStringList, drivers);
    QFETCH(QString, odbc);
    QFETCH(QString, options);

    const ConnectionParams connection =
        eschf::translateConnectionString(oleDb, QStringLiteral("/opt/eschf"), drivers, platform);
    QCOMPARE(connection.driver, QStringLiteral("QODBC"));
    QCOMPARE(connection.databaseName, odbc);
    QVERIFY(connection.databaseName.endsWith(u';'));
    QCOMPARE(connection.connectOptions, options);
}

void TestConnection::passesOdbcStringsOn_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("databaseName");

    // Handed on closed by ";": Qt's ODBC driver would put a NUL after the last value.
    const QString driver =
        QStringLiteral("Driver={ODBC Driver 18 for SQL Server};Server=srv;UID=u;PWD={p;q};Encrypt=yes");
    QTest::newRow("Driver=") << driver << driver + u';';
    QTest::newRow("driver= in lower case") << QStringLiteral("driver=SQLite3;Database=/tmp/x.db")
                                           << QStringLiteral("driver=SQLite3;Database=/tmp/x.db;");
    QTest::newRow("password last") << QStringLiteral("Driver=FreeTDS;Server=srv;Database=X;UID=u;PWD=p")
                                   << QStringLiteral("Driver=FreeTDS;Server=srv;Database=X;UID=u;PWD=p;");
    QTest::newRow("braced password with ; last") << QStringLiteral("Driver=FreeTDS;Server=srv;PWD={a;b}")
                                                 << QStringLiteral("Driver=FreeTDS;Server=srv;PWD={a;b};");
    QTest::newRow("closed already") << QStringLiteral("Driver=FreeTDS;Server=srv;Database=X;")
                                    << QStringLiteral("Driver=FreeTDS;Server=srv;Database=X;");
    QTest::newRow("closed, blanks after")
        << QStringLiteral("Driver=FreeTDS;Server=srv; ") << QStringLiteral("Driver=FreeTDS;Server=srv; ");
    // QODBC puts "DSN=" in front of itself.
    QTest::newRow("DSN=") << QStringLiteral("DSN=Buh;UID=u;PWD=p") << QStringLiteral("Buh;UID=u;PWD=p;");
    QTest::newRow("dsn = with blanks") << QStringLiteral(" dsn = Buh") << QStringLiteral(" Buh;");
    QTest::newRow("DSN= naming a server too")
        << QStringLiteral("DSN=Buh;Server=srv2") << QStringLiteral("DSN=Buh;Server=srv2;");
}

void TestConnection::passesOdbcStringsOn()
{
    QFETCH(QString, line);
    QFETCH(QString, databaseName);
    const ConnectionParams connection =
        eschf::translateConnectionString(line, QString(), debian, DriverPlatform::Unix);
    QCOMPARE(connection.driver, QStringLiteral("QODBC"));
    QCOMPARE(connection.databaseName, databaseName);
    QCOMPARE(connection.connectOptions, QString());
}

void TestConnection::resolvesSqliteFile_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("path");

    QTest::newRow("beside the settings file")
        << "Provider=SQLite;Data Source=demo.db" << absolute("/opt/eschf/demo.db");
    QTest::newRow("relative with ..")
        << "provider=sqlite; data source = ../data/buh.db ;" << absolute("/opt/data/buh.db");
    QTest::newRow("absolute") << "Provider=SQLite;Data Source=" + absolute("/var/lib/buh.db")
                              << absolute("/var/lib/buh.db");
    QTest::newRow("quoted, with ;") << "Provider=SQLite;Data Source='my;db.sqlite'"
                                    << absolute("/opt/eschf/my;db.sqlite");
}

void TestConnection::resolvesSqliteFile()
{
    QFETCH(QString, line);
    QFETCH(QString, path);
    const ConnectionParams connection = eschf::translateConnectionString(line, absolute("/opt/eschf"), {});
    QCOMPARE(connection.driver, QStringLiteral("QSQLITE"));
    QCOMPARE(connection.databaseName, path);
    QVERIFY(connection.secrets.isEmpty());
}

void TestConnection::refuses_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("drivers");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("secret");

    QTest::newRow("unknown provider")
        << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\buh.mdb;Jet OLEDB:Database Password=zq7secret"
        << debian << "Microsoft.Jet.OLEDB.4.0"
        << "zq7secret";
    QTest::newRow("ODBC through OLE DB") << "Provider=MSDASQL;DSN=buh;PWD=zq7secret" << debian << "MSDASQL"
                                         << "zq7secret";
    QTest::newRow("unclosed quote in the password")
        << "Provider=SQLOLEDB;Data Source=srv;Password='zq7secret;User ID=u" << debian << "«Password»"
        << "zq7secret";
    QTest::newRow("text after the closing quote")
        << "Provider=SQLOLEDB;Password='zq7' secret;Data Source=srv" << debian << "«Password»"
        << "secret";
    QTest::newRow("unquoted ; inside a password")
        << "Provider=SQLOLEDB;Password=ab;zq7secret;Data Source=srv" << debian << "«Password»"
        << "zq7secret";
    QTest::newRow("piece of a password that looks like a key")
        << "Provider=SQLOLEDB;Password=ab;zq7secret='x;Data Source=srv" << debian << "кавычка"
        << "zq7secret";
    QTest::newRow("no SQL Server driver on Linux") << "Provider=SQLOLEDB;Data Source=srv;Password=zq7secret"
                                                   << QStringList{QStringLiteral("SQLite3")} << "FreeTDS"
                                                   << "zq7secret";
    QTest::newRow("FreeTDS cannot take }; in a password")
        << "Provider=SQLOLEDB;Data Source=srv;Password='zq7};secret'" << debian << "«Password»"
        << "zq7";
    QTest::newRow("timeout not a number")
        << "Provider=SQLOLEDB;Data Source=srv;Password=zq7secret;Connect Timeout=soon" << debian << "soon"
        << "zq7secret";
    QTest::newRow("port not a number")
        << "Provider=SQLOLEDB;Data Source=srv,14x3;Password=zq7secret" << debian << "14x3"
        << "zq7secret";
    QTest::newRow("integrated security not understood")
        << "Provider=SQLOLEDB;Data Source=srv;Integrated Security=maybe;Password=zq7secret" << debian
        << "maybe"
        << "zq7secret";
    QTest::newRow(".dsn would turn into a file DSN")
        << "Provider=SQLOLEDB;Data Source=sql.dsnet.local;Password=zq7secret" << debian << ".dsn"
        << "zq7secret";
    QTest::newRow("empty line") << "   " << debian << "пуста"
                                << "";
    QTest::newRow("SQLite without a file") << "Provider=SQLite" << debian << "Data Source"
                                           << "";
}

void TestConnection::refuses()
{
    QFETCH(QString, line);
    QFETCH(QStringList, drivers);
    QFETCH(QString, says);
    QFETCH(QString, secret);
    try {
        eschf::translateConnectionString(line, QStringLiteral("/opt/eschf"), drivers, DriverPlatform::Unix);
        QFAIL("translated");
    } catch (const eschf::Error& e) {
        QVERIFY2(e.message().contains(says), qPrintable(e.message()));
        if (!secret.isEmpty())
            QVERIFY2(!e.message().contains(secret), qPrintable(e.message()));
    }
}

void TestConnection::keepsPasswordsAsSecrets()
{
    const QString base = QStringLiteral("/opt/eschf");
    QCOMPARE(
        eschf::translateConnectionString(QStringLiteral("Provider=SQLOLEDB;Data Source=s;Password=\"a;b\""),
                                         base, debian, DriverPlatform::Unix)
            .secrets,
        QStringList{QStringLiteral("a;b")});
    // Integrated security leaves the password out of the string, but it is still a secret.
    QCOMPARE(eschf::translateConnectionString(
                 QStringLiteral("Provider=SQLOLEDB;Data Source=s;Integrated Security=SSPI;PWD=hid"), base,
                 debian, DriverPlatform::Unix)
                 .secrets,
             QStringList{QStringLiteral("hid")});
    QCOMPARE(eschf::translateConnectionString(
                 QStringLiteral("Driver=FreeTDS;Server=s;PWD={x}};y};UID=u;Password=z"), base, debian,
                 DriverPlatform::Unix)
                 .secrets,
             (QStringList{QStringLiteral("x};y"), QStringLiteral("z")}));
}

void TestConnection::masksSecrets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("secrets");
    QTest::addColumn<QString>("masked");

    QTest::newRow("a secret anywhere") << "Login failed for 'sa' using hunter2." << QStringList{"hunter2"}
                                       << "Login failed for 'sa' using ***.";
    QTest::newRow("longer secret first") << "abcdef abc" << QStringList{"abc", "abcdef"} << "*** ***";
    QTest::newRow("PWD in braces") << "Driver={FreeTDS};PWD={a}}b;c};TDS_Version=auto;" << QStringList{}
                                   << "Driver={FreeTDS};PWD=***;TDS_Version=auto;";
    QTest::newRow("Password in quotes")
        << "Password = 'x;y' ; User ID=u" << QStringList{} << "Password = *** ; User ID=u";
    QTest::newRow("pwd bare, to the end") << "uid=u;pwd=abc" << QStringList{} << "uid=u;pwd=***";
    QTest::newRow("empty secret masks nothing") << "text" << QStringList{""} << "text";
}

void TestConnection::masksSecrets()
{
    QFETCH(QString, text);
    QFETCH(QStringList, secrets);
    QFETCH(QString, masked);
    QCOMPARE(eschf::maskSecrets(text, secrets), masked);
}

void TestConnection::listsInstalledDrivers()
{
#if defined(Q_OS_LINUX)
    if (!QFile::exists(QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so")) &&
        !QFile::exists(QStringLiteral("/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so")))
        QSKIP("FreeTDS is not installed");
    const QStringList drivers = eschf::installedOdbcDrivers();
    QVERIFY2(drivers.contains(QStringLiteral("FreeTDS")), qPrintable(drivers.join(u", ")));
#elif defined(Q_OS_WIN)
    const QStringList drivers = eschf::installedOdbcDrivers();
    // Under Wine, odbc32 lists the host's unixODBC drivers; Windows always has its "SQL Server".
    const QString expected =
        eschf::test::underWine() ? QStringLiteral("SQLite3") : QStringLiteral("SQL Server");
    QVERIFY2(drivers.contains(expected), qPrintable(drivers.join(u", ")));
#else
    QSKIP("checked where the Debian packages are known");
#endif
}

QTEST_APPLESS_MAIN(TestConnection)
#include "tst_connection.moc"
