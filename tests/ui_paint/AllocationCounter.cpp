#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool counting = false;
thread_local size_t allocations = 0;

void* Allocate(std::size_t n)
{
    if (counting)
        ++allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace alloc {

size_t Count() { return allocations; }

Scope::Scope()
    : start_(allocations)
{
    counting = true;
}
Scope::~Scope() { counting = false; }
size_t Scope::Allocations() const { return allocations - start_; }

}  // namespace alloc
