#pragma once

namespace bench {

// How many times the process has called operator new so far.
long Allocations();

}  // namespace bench
