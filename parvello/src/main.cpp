#include <cstdio>
int main() { std::puts("parvello v2.0.6"); return 0; }
