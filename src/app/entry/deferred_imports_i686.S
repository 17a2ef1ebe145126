/* The 32-bit call stubs of the deferred imports (see deferred_imports.inc).
   Each import gets what an import library would give it: the pointer that
   compiled calls go through and a function to jump through it. The pointer
   starts on a stub that binds the function, stores its address in the
   pointer and goes on into it, with the caller's arguments untouched. */

    .text
deferred_bind_and_go:
    /* [esp]: the import's number, [esp+4]: the caller's return address. */
    pushl %ecx
    pushl %edx
    pushl 8(%esp)
    call _calvorn_bind_deferred_import
    addl $4, %esp
    popl %edx
    popl %ecx
    addl $4, %esp
    jmp *%eax

    .data
    .globl _calvorn_deferred_slots
_calvorn_deferred_slots:

.set deferred_number, 0
.macro deferred name, bytes
    .text
    .globl _\name\()@\bytes
_\name\()@\bytes:
    jmp *__imp__\name\()@\bytes
deferred_first_call_\name:
    pushl $deferred_number
    jmp deferred_bind_and_go
    .data
    .globl __imp__\name\()@\bytes
__imp__\name\()@\bytes:
    .long deferred_first_call_\name
    .set deferred_number, deferred_number + 1
.endm

#define DEFERRED_IMPORT(dll, name, bytes) deferred name, bytes
#include "deferred_imports.inc"
