#include "app/tfrmmain.h"

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {}
