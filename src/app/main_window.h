#pragma once

#include <QMainWindow>

namespace j3 {

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
};

}  // namespace j3
