#include "frontpanel/export_call.h"

namespace dpc {

#if defined(__i386__)
uint32_t CallPreservingStack(void* address, const uint32_t* words, uint32_t count) {
  uint32_t result;
  // edi keeps the stack pointer across the call: it is callee-saved in both conventions. The
  // arguments are pushed last to first onto a 16-byte aligned stack.
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      "leal (,%%ecx,4), %%edx\n\t"
      "subl %%edx, %%esp\n\t"
      "andl $-16, %%esp\n\t"
      "addl %%edx, %%esp\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%esi,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%eax\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "+c"(count), "+S"(words)
      : "0"(address)
      : "edx", "edi", "memory", "cc");
  return result;
}
#endif

}  // namespace dpc
