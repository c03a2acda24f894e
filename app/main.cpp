// The skyloom executable: the program's entry.
#include "app/entry.h"

int main() { return gf_programMain(); }
