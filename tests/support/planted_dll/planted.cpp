// A DLL that does nothing but load; the tests put it beside a program as a
// planted copy of a system DLL would be.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
