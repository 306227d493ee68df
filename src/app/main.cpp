#include "app/tfrmmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    TfrmMain window;
    window.show();
    return app.exec();
}
