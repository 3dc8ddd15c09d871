// Bounds of the waits in the VM for what the program, the kernel, udev or X do. Each is far above what an idle
// machine takes, so that it is reached only when something hangs, however loaded the machine that emulates the VM.
// A sanitized build runs slower again: its run-vm passes the build's time factor (VANDREL_TEST_TIME_FACTOR), which
// scales every bound.
#pragma once

#include <chrono>
#include <cstdlib>

namespace vandrel::vmtest {

inline std::chrono::milliseconds scaled(std::chrono::milliseconds bound)
{
    static const long factor = [] {
        const char* text = std::getenv("VANDREL_TEST_TIME_FACTOR");
        const long value = text ? std::atol(text) : 1;
        return value > 0 ? value : 1;
    }();
    return bound * factor;
}

}  // namespace vandrel::vmtest
