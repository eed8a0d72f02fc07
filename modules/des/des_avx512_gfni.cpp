// The AVX-512 core built with GFNI and VBMI as well; see des_avx512.cpp.
#include "des_avx512.cpp"
