// The product is built without exceptions. What would make libstdc++ throw
// (a failed allocation, a length beyond max_size, an out-of-range at())
// ends the process here instead, which is what the uncaught exception
// would have done; libstdc++'s exception machinery, unwinder and demangler
// then stay out of the executables.
#include <cstddef>
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    if (size == 0) size = 1;
    void* p = std::malloc(size);
    if (!p) std::abort();
    return p;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace std {

[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_bad_function_call() { std::abort(); }
[[noreturn]] void __throw_bad_optional_access() { std::abort(); }

// A failed library assertion (indexing out of range and the like).
[[noreturn]] void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept {
    std::abort();
}

}  // namespace std
