/* The other wrong exes, each for faults that the deliberately wrong exe (bad_exe.c) cannot carry
   as well: a check that stops at its first fault, or a fault that hides others. They are GUI
   programs for the oldest Windows, importing only ExitProcess: right where they are not wrong.
   Each starts at one of these entry points; the linker drops the others. Their resources are in
   bad_variants.rc, but for two that no resource compiler writes. Never run. */
#include <windows.h>

/* Loads the control word from the stack, where the checker cannot see which word it is. */
void ControlWordFromTheStack(void)
{
    volatile WORD controlWord = 0x037F;
    __asm__ volatile("fldcw %0" : : "m"(controlWord));
    ExitProcess(0);
}

/* Loads no control word at all. */
void NoControlWord(void)
{
    ExitProcess(0);
}

void RightEntry(void)
{
    static const WORD controlWord = 0x037F;
    __asm__ volatile("fldcw %0" : : "m"(controlWord));
    ExitProcess(0);
}

/* A resource directory with one resource, of the type and id given, language neutral, its data
   of the size given at the address given (relative to the image). The linker merges it with the
   resource compiler's directory, if any. */
#define ONE_RESOURCE(type, id, address, size, data)                                         \
    __asm__(".section .rsrc,\"dr\"\n"                                                     \
            ".long 0, 0\n .short 0, 0, 0, 1\n .long " #type ", 0x80000018\n"              \
            ".long 0, 0\n .short 0, 0, 0, 1\n .long " #id ", 0x80000030\n"                \
            ".long 0, 0\n .short 0, 0, 0, 1\n .long 0, 0x48\n"                            \
            address "\n .long " #size ", 0, 0\n" data "\n.text\n")

#if PE_VARIANT == 2
/* A cursor group where the icon group belongs (type 2 in its header): the resource compiler
   writes every icon group with the icon's type. */
ONE_RESOURCE(14, 101, ".rva 1f", 6, "1: .short 0, 2, 0");
#elif PE_VARIANT == 6
/* The only resource directory, its one entry's data past the end of the image. */
ONE_RESOURCE(3, 1, ".long 0x7FFF0000", 16, "");
#endif
