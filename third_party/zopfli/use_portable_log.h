/* Forced into every zopfli source file by the build. Zopfli weighs its parse by entropy
 * estimates that call log(); the C libraries' log() differ in the last bit for some arguments
 * (glibc's even between processors with and without fused multiply-add, mingw-w64's for about
 * one integer in four thousand), and a flipped comparison changes the compressed bytes. Every
 * build uses one implementation instead, so that every platform makes the same stream. */
#ifndef ZOPFLI_USE_PORTABLE_LOG_H
#define ZOPFLI_USE_PORTABLE_LOG_H

#include <math.h>

#include "portable_log.h"

#define log portable_log

#endif
