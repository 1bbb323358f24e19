#include "StdAfx.h"

int main() { return 0; }
