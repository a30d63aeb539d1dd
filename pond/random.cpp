#include <cstdlib>

#include "pond/pond.h"

namespace reedmere {

// Seeded once from the clock by main.
int next_random() { return std::rand(); }

}  // namespace reedmere
