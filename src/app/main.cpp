#include "app/program.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("eschf-loader"));
    QApplication::setApplicationVersion(QStringLiteral("1.8.1"));
    eschf::prepareApplication(app);
    return eschf::runLoader(QApplication::arguments());
}
