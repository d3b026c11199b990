// Log and WLog for x86-64 ELF builds: the threshold test before anything
// else. A variadic C function spills its register arguments in its prologue,
// before its first statement; a caller that logs on every read pays for that
// spill on every filtered line. These entries compare the level and return,
// or jump with every argument register untouched to the C functions, which
// then see exactly the call their caller made.
#if defined(__CET__)
// Marks the object IBT and shadow-stack compatible, as the compiler marks
// the C objects of a -fcf-protection build; without the note the linker
// would drop the marking from the whole library.
#include <cet.h>
#endif
        .text

        .globl  Log
        .type   Log, @function
        .p2align 4
Log:
        .cfi_startproc
        endbr64
        cmpl    _ZN4svcp3log11g_thresholdE(%rip), %edi
        jg      1f
        jmp     svcp_log_FormattedLog
1:      ret
        .cfi_endproc
        .size   Log, .-Log

        .globl  WLog
        .type   WLog, @function
        .p2align 4
WLog:
        .cfi_startproc
        endbr64
        cmpl    _ZN4svcp3log11g_thresholdE(%rip), %edi
        jg      1f
        jmp     svcp_log_FormattedWLog
1:      ret
        .cfi_endproc
        .size   WLog, .-WLog

        .section .note.GNU-stack,"",@progbits
