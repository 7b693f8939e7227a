#pragma once

#include <cstddef>

// Counts the heap allocations the calling thread makes while a Scope lives;
// the global operator new of this test binary reports to it.
namespace alloc {

size_t Count();

class Scope {
public:
    Scope();
    ~Scope();
    size_t Allocations() const;

private:
    size_t start_;
};

}  // namespace alloc
