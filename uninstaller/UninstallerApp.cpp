#include "uninstaller/UninstallerApp.h"

namespace zmp {

// Placeholder until the application object lands.
int UninstallerMain(Platform&) { return 0; }

}  // namespace zmp
