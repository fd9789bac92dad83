// The Save As conversion benchmark built for Windows, so that it converts
// through MultiByteToWideChar / WideCharToMultiByte (under Wine here).
//   convert_bench_win.exe FILE SOURCE TARGET OUT    (as convert_bench)
#include "bench/convert_bench.cpp"
