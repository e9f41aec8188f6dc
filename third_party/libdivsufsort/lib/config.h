/* What libdivsufsort's own build would detect on the platforms the patch builder is built for
 * (glibc, and mingw-w64's runtime); written once in place of its CMake checks. */
#ifndef _CONFIG_H
#define _CONFIG_H 1

#define PROJECT_VERSION_FULL "2.0.1"

#define HAVE_INTTYPES_H 1
#define HAVE_STDDEF_H 1
#define HAVE_STDINT_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_MEMORY_H 1
#define HAVE_SYS_TYPES_H 1

#ifndef INLINE
# define INLINE inline
#endif

#endif /* _CONFIG_H */
