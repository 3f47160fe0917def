#include "installer/InstallerApp.h"

namespace zmp {

// Placeholder until the application object lands.
int InstallerMain(Platform&) { return 0; }

}  // namespace zmp
