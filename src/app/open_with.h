// Files handed to `j3 FILE...`, as a file manager's "Open With" does: they
// join the list once the window is up.
#pragma once

#include <QStringList>

namespace j3 {

// The files named by the arguments after the program name: paths made
// absolute against the current folder, file: URLs as their local paths; empty
// arguments and other URLs are skipped.
QStringList files_from_arguments(const QStringList& arguments);

}  // namespace j3
