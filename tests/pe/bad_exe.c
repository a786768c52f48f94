/* A deliberately wrong exe for the checker to reject: a console program that asks for a newer
   subsystem, starts at an entry point that loads the x87 control word a process starts with,
   imports a DLL outside the allowed set, a function the list of what Windows NT 4.0 has lacks
   and one it names with a later Windows (the rejection test adds that row), and holds two
   instructions the Pentium lacks. It is never run. Its resources (bad_exe.rc) are wrong in other
   ways; bad_variants.c makes the wrong exes for the faults that this one cannot also carry. */
#include <winsock2.h>

void BadEntry(void)
{
    static const unsigned short controlWord = 0x027F;
    __asm__ volatile("fldcw %0" : : "m"(controlWord));
    __asm__ volatile("fcomip %st(1), %st\n\tmovd %eax, %mm0");
    ExitProcess((UINT)(WSAGetLastError() + GetTickCount() + GetTickCount64()));
}
