#pragma once

// Symbols the shared library exports; everything else is hidden.
#if defined(XRDB8_STATIC)
#define XRDB8_API
#else
#define XRDB8_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define XRDB8_EXTERN_C extern "C"
#else
#define XRDB8_EXTERN_C
#endif

// A flat export: undecorated name, default visibility.
#define XRDB8_EXPORT XRDB8_EXTERN_C XRDB8_API
