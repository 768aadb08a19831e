#pragma once

#include <string>

// Where the companion pipe of a given name lives, for whoever serves it and whoever connects to
// it alike. On Windows the name is the pipe itself. Elsewhere the pipe is a socket file: in the
// user's own runtime folder ($XDG_RUNTIME_DIR, which only the user can enter) when that is set,
// so that another user of the machine can neither serve it first nor block it; otherwise in the
// temporary folder ($TMPDIR, else /tmp). A name that is already an absolute path stays as it is.
std::string PipeSocketPath(const std::string& name);
