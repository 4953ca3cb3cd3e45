// The process entry: hands control to the form framework, which creates the
// start-up form Form1 and raises its Load event. The command line and
// standard input are never read.

#include "app/Form1.h"

int main() { return forms::Run<Form1>(); }
