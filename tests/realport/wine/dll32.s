# SPDX-License-Identifier: MIT
# A 32-bit port-I/O DLL (InpOut32 interface, doing nothing), for the message
# a 64-bit lptport.exe gives when handed a DLL of the wrong word size. It is
# assembled and linked with the 64-bit mingw-w64 binutils, which can write
# 32-bit PE images, so that no 32-bit compiler is needed. It needs no entry
# point: a DLL without one is loaded as it is.
    .text
    .globl _Out32@8
_Out32@8:
    ret $8
    .globl _Inp32@4
_Inp32@4:
    movl $255, %eax
    ret $4
