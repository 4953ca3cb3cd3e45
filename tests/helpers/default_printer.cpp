// default_printer: prints what Windows answers for the user's default
// printer (GetDefaultPrinterA), for the tests under Wine. Exits 1 when it
// has none.

#include <cstdio>

#include "platform/winapi.h"

extern "C" DEFPRINTER_IMPORT BOOL DEFPRINTER_WINAPI GetDefaultPrinterA(char* pszBuffer,
                                                                       DWORD* pcchBuffer);

int main() {
  char name[1024];
  DWORD size = sizeof(name);
  if (GetDefaultPrinterA(name, &size) == 0) return 1;
  std::printf("%s\n", name);
  return 0;
}
