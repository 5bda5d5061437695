// Which sanitizer the program is built with, under GCC (which defines
// __SANITIZE_ADDRESS__ and __SANITIZE_THREAD__) and under clang (which answers
// __has_feature instead).
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_UNDER_ASAN 1
#endif
#if __has_feature(thread_sanitizer)
#define QV_UNDER_TSAN 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__) && !defined(QV_UNDER_ASAN)
#define QV_UNDER_ASAN 1
#endif
#if defined(__SANITIZE_THREAD__) && !defined(QV_UNDER_TSAN)
#define QV_UNDER_TSAN 1
#endif
