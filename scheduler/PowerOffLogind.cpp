#include "PowerOff.h"

namespace vesperkeep {

bool PowerOffComputer(unsigned) { return false; }

} // namespace vesperkeep
