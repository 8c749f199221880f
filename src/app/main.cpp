#include <QApplication>

#include "app/main_window.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
    // `j3 VERB ...` runs headless; `j3` alone opens the window.
    if (argc > 1) return j3::run_cli(argc, argv);
    QApplication app(argc, argv);
    j3::MainWindow window;
    window.show();
    return app.exec();
}
