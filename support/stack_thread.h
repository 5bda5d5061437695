// A thread with a stack of a chosen size, which the standard library's
// threads cannot be given: for work that nests deep, such as evaluating a
// long chain of nodes, each level a call.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>

namespace support {

class StackThread {
public:
    // Starts body on a new thread whose stack holds at least `bytes`; if the
    // system refuses such a stack, on a thread of the system's own stack
    // size, and if it refuses any thread, at once on the calling one.
    StackThread(std::size_t bytes, std::function<void()> body);
    ~StackThread();  // joins
    StackThread(const StackThread &) = delete;
    StackThread &operator=(const StackThread &) = delete;

    // Waits for the body to end, and throws again what it threw.
    void join();

private:
    std::function<void()> body_;
    std::exception_ptr thrown_;
    void *handle_ = nullptr;  // null once joined, or when the body ran at once

    void wait();
    static void run(StackThread &self);
#ifdef _WIN32
    static unsigned __stdcall start(void *self);
#else
    static void *start(void *self);
#endif
};

// Runs body on a thread with a stack of `bytes` and waits for it.
inline void run_with_stack(std::size_t bytes, std::function<void()> body) {
    StackThread thread(bytes, std::move(body));
    thread.join();
}

}  // namespace support
