/* A stand-in for the updater in tests: loads its own RT_RCDATA "PATCHDATA" resource the way the
 * updater does and prints the resource's checksum and size, then the size of the resource
 * "OTHERDATA" when it has one (it shows that other resources survived). */
#include <stdio.h>
#include <windows.h>

static unsigned long checksum(const unsigned char* bytes, unsigned long length) {
  unsigned long table[256], reg = 0x8217891CUL, i;
  int bit;
  for (i = 0; i < 256; i++) {
    unsigned long value = i << 24;
    for (bit = 0; bit < 8; bit++) value = (value & 0x80000000UL) ? ((value << 1) ^ 0x04C11DB7UL) : (value << 1);
    table[i] = value & 0xFFFFFFFFUL;
  }
  for (i = 0; i < length; i++) reg = ((reg << 8) ^ table[((reg >> 24) ^ bytes[i]) & 0xFF]) & 0xFFFFFFFFUL;
  return reg;
}

int main(void) {
  HRSRC found = FindResourceA(NULL, "PATCHDATA", (LPCSTR)RT_RCDATA);
  HGLOBAL loaded;
  const unsigned char* bytes;
  DWORD size;
  if (!found) {
    printf("no PATCHDATA\n");
    return 3;
  }
  loaded = LoadResource(NULL, found);
  bytes = (const unsigned char*)LockResource(loaded);
  size = SizeofResource(NULL, found);
  if (!bytes) return 4;
  printf("%08lx %lu\n", checksum(bytes, size), (unsigned long)size);
  found = FindResourceA(NULL, "OTHERDATA", (LPCSTR)RT_RCDATA);
  if (found) printf("OTHERDATA %lu\n", (unsigned long)SizeofResource(NULL, found));
  return 0;
}
