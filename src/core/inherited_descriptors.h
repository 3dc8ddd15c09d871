// What a child process inherits of ours: standard input, output and error, nothing else. Descriptors this
// program opens itself are close-on-exec already; those it was started with, or that a library opened without
// the flag, are not, and would pass on to every program it starts (a grabbed keyboard held open by a launched
// application outlives us).
//
//   process.setChildProcessModifier(InheritedDescriptors::markCloseOnExec);
//
// Both calls are async-signal-safe: they run in the child between fork and exec. Descriptors are marked, not
// closed, so that a close-on-exec pipe through which the parent learns of a failed exec (QProcess keeps one)
// stays open until the exec, and a failed start is still reported as one.
#pragma once

namespace vandrel {

struct InheritedDescriptors {
    // Descriptors beyond this are not looked at when the kernel cannot mark a range at once.
    static constexpr int kScanLimit = 1 << 16;

    // Marks every descriptor from 3 up close-on-exec, in one call where the kernel can (Linux 5.11 and later),
    // else one at a time.
    static void markCloseOnExec() noexcept;
    // One at a time: descriptors 3 up to the descriptor limit, at most kScanLimit.
    static void markCloseOnExecOneByOne() noexcept;
};

}  // namespace vandrel
