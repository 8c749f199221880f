#include "app/main_window.h"

#include <QLabel>

namespace j3 {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("J3");
    resize(674, 373);
    setCentralWidget(new QLabel("J3", this));
}

}  // namespace j3
