// SPDX-License-Identifier: MIT
// A 32-bit port-I/O DLL (InpOut32 interface, doing nothing), for the message
// a 64-bit lptport.exe gives when handed a DLL of the wrong word size. The
// 64-bit mingw-w64 compiler writes its 32-bit object (-m32), and its binutils
// link it into a 32-bit PE image (dll32.ld), so that no 32-bit toolchain or C
// library is needed. It needs no entry point: a DLL without one is loaded as
// it is.
void __stdcall Out32(short, short) {}

short __stdcall Inp32(short) {
    return 0xFF;
}
