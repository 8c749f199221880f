// The windows' controls by the numbers the interface files give them (the
// "controlId" property of each control in the .ui files), for the tests and
// tools that reach a control by its number.
#pragma once

class QWidget;

namespace j3 {

// The control numbered id inside window, or nullptr when there is none.
QWidget* find_control(const QWidget* window, int id);

}  // namespace j3
