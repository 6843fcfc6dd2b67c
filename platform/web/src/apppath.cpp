#include "kromi/core/runtime.h"

namespace kromi {

// The cues lie beside the page: a name after an empty folder is a URL relative to it.
std::string AppPath() { return ""; }

}  // namespace kromi
