// Threads with a stack of a chosen size: pthread attributes, or the stack
// size _beginthreadex reserves on Windows (see stack_thread.h).
#include "support/stack_thread.h"

#include <utility>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace support {

void StackThread::run(StackThread &self) {
    try {
        self.body_();
    } catch (...) {
        self.thrown_ = std::current_exception();
    }
}

#ifdef _WIN32

unsigned __stdcall StackThread::start(void *self) {
    run(*static_cast<StackThread *>(self));
    return 0;
}

StackThread::StackThread(std::size_t bytes, std::function<void()> body) : body_(std::move(body)) {
    uintptr_t h = _beginthreadex(nullptr, static_cast<unsigned>(bytes), start, this,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (h == 0) h = _beginthreadex(nullptr, 0, start, this, 0, nullptr);  // the system's own size
    if (h != 0)
        handle_ = reinterpret_cast<void *>(h);
    else
        run(*this);
}

void StackThread::wait() {
    if (handle_ == nullptr) return;
    WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

#else

void *StackThread::start(void *self) {
    run(*static_cast<StackThread *>(self));
    return nullptr;
}

StackThread::StackThread(std::size_t bytes, std::function<void()> body) : body_(std::move(body)) {
    pthread_attr_t attr;
    pthread_t thread;
    bool started = false;
    if (pthread_attr_init(&attr) == 0) {
        started = pthread_attr_setstacksize(&attr, bytes) == 0 && pthread_create(&thread, &attr, start, this) == 0;
        pthread_attr_destroy(&attr);
    }
    if (!started) started = pthread_create(&thread, nullptr, start, this) == 0;  // the system's own size
    if (started)
        handle_ = new pthread_t(thread);
    else
        run(*this);
}

void StackThread::wait() {
    if (handle_ == nullptr) return;
    pthread_join(*static_cast<pthread_t *>(handle_), nullptr);
    delete static_cast<pthread_t *>(handle_);
    handle_ = nullptr;
}

#endif

StackThread::~StackThread() { wait(); }

void StackThread::join() {
    wait();
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
}

}  // namespace support
