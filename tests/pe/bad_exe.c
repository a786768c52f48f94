/* A deliberately wrong exe for the checker to reject: a console program that imports a DLL
   outside the allowed set. Its resources (bad_exe.rc) are wrong in other ways. */
#include <winsock2.h>

int main(void)
{
    return WSAGetLastError();
}
