/* The 64-bit call stubs of the deferred imports (see deferred_imports.inc).
   Each import gets what an import library would give it: the pointer that
   compiled calls go through and a function to jump through it. The pointer
   starts on a stub that binds the function, stores its address in the
   pointer and goes on into it, with the caller's arguments (rcx, rdx, r8,
   r9, xmm0-3 and the stack) untouched. */

    .text
deferred_bind_and_go:
    /* [rsp]: the import's number, [rsp+8]: the caller's return address. */
    pushq %rcx
    pushq %rdx
    pushq %r8
    pushq %r9
    subq $0x60, %rsp
    movdqu %xmm0, 0x20(%rsp)
    movdqu %xmm1, 0x30(%rsp)
    movdqu %xmm2, 0x40(%rsp)
    movdqu %xmm3, 0x50(%rsp)
    movq 0x80(%rsp), %rcx
    call calvorn_bind_deferred_import
    movdqu 0x20(%rsp), %xmm0
    movdqu 0x30(%rsp), %xmm1
    movdqu 0x40(%rsp), %xmm2
    movdqu 0x50(%rsp), %xmm3
    addq $0x60, %rsp
    popq %r9
    popq %r8
    popq %rdx
    popq %rcx
    addq $8, %rsp
    jmp *%rax

    .data
    .balign 8
    .globl calvorn_deferred_slots
calvorn_deferred_slots:

.set deferred_number, 0
.macro deferred name
    .text
    .globl \name
\name:
    jmp *__imp_\name(%rip)
deferred_first_call_\name:
    pushq $deferred_number
    jmp deferred_bind_and_go
    .data
    .globl __imp_\name
__imp_\name:
    .quad deferred_first_call_\name
    .set deferred_number, deferred_number + 1
.endm

#define DEFERRED_IMPORT(dll, name, bytes) deferred name
#include "deferred_imports.inc"
