/* qvWirelet: packet monitor library. Flat C interface; every function returns a
   32-bit int (1/0 or a count) and texts are 8-bit, NUL-terminated. */
#ifndef QVWIRELET_H
#define QVWIRELET_H

#include <stdint.h>

#if defined(_WIN32)
#define QVW_CALL __cdecl
#if defined(QVW_BUILDING_LIBRARY)
#define QVW_API __declspec(dllexport)
#else
#define QVW_API
#endif
#else
#define QVW_CALL
#define QVW_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives each reported text ("ip:a.b.c.d", a URL head or a host name); the
   result is not used by the library. */
typedef int(QVW_CALL* UrlCallback)(const char* text);

/* One accepted packet of QVW_MonitorGetCaptures: a fixed 160-byte layout. */
typedef struct CaptureRecord {
  char reserved[76]; /* zero */
  char address[80];  /* destination, dotted decimal, NUL-terminated, zero-padded */
  int32_t port;      /* destination port, host byte order */
} CaptureRecord;

QVW_API int QVW_CALL QVW_MonitorOpenAuto(const char* interfaceName, int nonBlocking);
QVW_API int QVW_CALL QVW_MonitorOpen(const char* interfaceName, int nonBlocking);
QVW_API int QVW_CALL QVW_MonitorSet(int direction, const char* host, const char* net, int port);
QVW_API int QVW_CALL QVW_MonitorClose(void);
QVW_API int QVW_CALL QVW_MonitorError(char* out);

QVW_API int QVW_CALL QVW_MonitorGetCounts(uint32_t timeBudgetMs);
QVW_API int QVW_CALL QVW_MonitorGetCodes(uint32_t timeBudgetMs, const char* compare);
QVW_API int QVW_CALL QVW_MonitorGetCaptures(uint32_t timeBudgetMs, int maxRecords, int portLow,
                                            int portHigh, CaptureRecord** records);

QVW_API int QVW_CALL QVW_MonitorGetUrl(const char* targets, UrlCallback callback, int runLoop,
                                       int allMode);
QVW_API int QVW_CALL QVW_MonitorCheckUrl(int32_t timeBudgetMs);
QVW_API int QVW_CALL QVW_GetPacketUrl(char* out);
QVW_API int QVW_CALL QVW_MonitorGetDns(uint32_t timeBudgetMs, const char* name);

QVW_API int QVW_CALL QVW_MonitorXst(void);

#ifdef __cplusplus
}
#endif

#endif /* QVWIRELET_H */
