// Ctrl-C while a verb works with an instrument: noted rather than fatal, so
// the verb ends its work its own way (a send after the message on its way, a
// reception once what it holds is written) and says so.
//
//   CtrlC ctrl_c;                  // from here until it goes out of scope
//   while (... && !ctrl_c.pressed()) ...
#pragma once

#include "engine/outcomes.h"

namespace j3 {

class CtrlC {
  public:
    CtrlC();
    // Gives Ctrl-C back to the handler it had before.
    ~CtrlC();
    CtrlC(const CtrlC&) = delete;
    CtrlC& operator=(const CtrlC&) = delete;

    bool pressed() const;
    // The ending a verb reports: interrupted once Ctrl-C was pressed,
    // whatever the work itself came to, else end.
    VerbEnd ending(VerbEnd end) const;

  private:
    void (*previous_)(int);
};

}  // namespace j3
