/* A natural logarithm that gives the same bits on every platform and processor. */
#ifndef PORTABLE_LOG_H
#define PORTABLE_LOG_H

#ifdef __cplusplus
extern "C" {
#endif

/* log(x), within 0.52 ULP, from IEEE double arithmetic alone (no fused multiply-add). */
double portable_log(double x);

#ifdef __cplusplus
}
#endif

#endif
