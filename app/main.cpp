// The process entry: hands control to the form framework, which creates the
// start-up form Form1 and raises its Load event. The command line and
// standard input are never read.

#include "app/Form1.h"
#include "platform/winapi.h"

#if defined(_WIN32)
// The entry of a Windows GUI program: no console window ever appears.
extern "C" int DEFPRINTER_WINAPI WinMain(HINSTANCE, HINSTANCE, char*, int) {
  return forms::Run<Form1>();
}
#else
int main() { return forms::Run<Form1>(); }
#endif
