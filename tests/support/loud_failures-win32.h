#pragma once
// For the Windows test programs, which run under Wine with their output on a pipe:
// a program that ends early must still say how far it got and why. Its output is
// written as it comes (a pipe would hold it in a buffer that an abort throws away), and
// an uncaught exception or a crash is named on standard error before the program ends
// (the runtime's own abort message goes to a console that a pipe run does not have).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

namespace test_support {

inline LONG WINAPI SayCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "test program: unhandled exception 0x%08lx at %p\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

inline void SayTermination() {
    const char* what = "no exception";
    try {
        if (const std::exception_ptr current = std::current_exception()) std::rethrow_exception(current);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "an exception of an unknown type";
    }
    std::fprintf(stderr, "test program: terminated (%s)\n", what);
    std::fflush(stderr);
    std::_Exit(3);
}

inline void MakeFailuresLoud() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::set_terminate(SayTermination);
    SetUnhandledExceptionFilter(SayCrash);
}

}  // namespace test_support
